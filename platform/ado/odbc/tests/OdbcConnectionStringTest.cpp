#include "OdbcConnectionString.h"

#include "common/StringUtils.h"

#include <gtest/gtest.h>

using namespace platform::ado;
using namespace platform::ado::odbc;

namespace {

std::string Describe(const OdbcConnectPlan& plan)
{
    std::string str = "timeout " + std::to_string(plan.lLoginTimeout);
    for (const OdbcConnectTarget& target : plan.targets)
        str += "\n  " + WideToNarrow(target.strServer) + " -> " + WideToNarrow(target.strOdbcConnectionString);
    return str;
}

ConnectionProperties SqlLogin(std::wstring strDataSource, std::wstring strUser, std::wstring strPassword)
{
    ConnectionProperties properties;
    properties.strDataSource = std::move(strDataSource);
    properties.bIntegratedSecurity = false;
    properties.strUserId = std::move(strUser);
    properties.strPassword = std::move(strPassword);
    properties.lConnectTimeout = 30;
    properties.strInitialCatalog = L"master";
    return properties;
}

ConnectionProperties Trusted(std::wstring strDataSource, std::wstring strPartner = L"")
{
    ConnectionProperties properties;
    properties.strDataSource = std::move(strDataSource);
    properties.strFailoverPartner = std::move(strPartner);
    properties.strInitialCatalog = L"KorvoQuar";
    return properties;
}

struct PlanCase
{
    const char* szName;
    ConnectionProperties properties;
    std::vector<OdbcConnectTarget> expectedTargets;
    std::int32_t lExpectedTimeout;
};

TEST(OdbcConnectionString, CarriesEachSettingAsAKeywordOfItsOwn)
{
    ConnectionProperties noCatalog = Trusted(L"S");
    noCatalog.strInitialCatalog.clear();
    noCatalog.lConnectTimeout = -4;
    ConnectionProperties noLimit = SqlLogin(L"S", L"u", L"p");
    noLimit.lConnectTimeout = 0;
    // The text is never read: only the fields count.
    ConnectionProperties misleadingText = SqlLogin(L"S", L"u", L"p");
    misleadingText.strConnectionString = L"Data Source=ELSEWHERE;Password=other;Trusted_Connection=Yes";
    const PlanCase cases[] = {
        {"trusted login",
         Trusted(L"S"),
         {{L"S", L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"}},
         15},
        {"SQL login with a failover partner",
         [] {
             ConnectionProperties p = SqlLogin(L"A", L"u", L"p");
             p.strFailoverPartner = L"B";
             return p;
         }(),
         {{L"A", L"DRIVER={FreeTDS};Server=A;UID=u;PWD=p;Database=master;TDS_Version=7.4"},
          {L"B", L"DRIVER={FreeTDS};Server=B;UID=u;PWD=p;Database=master;TDS_Version=7.4"}},
         30},
        {"named instance, host and port",
         Trusted(L"DBHOST\\KORVO", L"10.1.2.3,1444"),
         {{L"DBHOST\\KORVO",
           L"DRIVER={FreeTDS};Server=DBHOST\\KORVO;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"},
          {L"10.1.2.3,1444",
           L"DRIVER={FreeTDS};Server=10.1.2.3,1444;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"}},
         15},
        {"this computer by its Windows names",
         Trusted(L"(local)", L".\\MIRROR"),
         {{L"(local)", L"DRIVER={FreeTDS};Server=localhost;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"},
          {L".\\MIRROR",
           L"DRIVER={FreeTDS};Server=localhost\\MIRROR;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"}},
         15},
        {"empty data source is this computer, tcp: prefix dropped",
         Trusted(L"", L"tcp:mirror,1500"),
         {{L"", L"DRIVER={FreeTDS};Server=localhost;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"},
          {L"tcp:mirror,1500",
           L"DRIVER={FreeTDS};Server=mirror,1500;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"}},
         15},
        {"no catalog, and a negative timeout is ADO's default",
         noCatalog,
         {{L"S", L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;TDS_Version=7.4"}},
         15},
        {"a timeout of 0 waits without limit",
         noLimit,
         {{L"S", L"DRIVER={FreeTDS};Server=S;UID=u;PWD=p;Database=master;TDS_Version=7.4"}},
         0},
        {"clauses in the user name and password stay inside their values",
         SqlLogin(L"S", L"sa;Server=127.0.0.1,2345", L"pw;Trusted_Connection=Yes;PWD=x"),
         {{L"S", L"DRIVER={FreeTDS};Server=S;UID={sa;Server=127.0.0.1,2345};PWD={pw;Trusted_Connection=Yes;PWD=x};"
                 L"Database=master;TDS_Version=7.4"}},
         30},
        {"the text is not read",
         misleadingText,
         {{L"S", L"DRIVER={FreeTDS};Server=S;UID=u;PWD=p;Database=master;TDS_Version=7.4"}},
         30},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.szName);
        const OdbcConnectPlan plan = BuildConnectPlan(c.properties, OdbcDriverSettings{});
        OdbcConnectPlan expected;
        expected.targets = c.expectedTargets;
        expected.lLoginTimeout = c.lExpectedTimeout;
        EXPECT_EQ(Describe(plan), Describe(expected));
    }
}

TEST(OdbcConnectionString, RefusesWhatFreeTdsCannotCarryAndNamesOnlyTheSetting)
{
    struct RefusalCase
    {
        ConnectionProperties properties;
        const char* szMessage;
    };
    const RefusalCase cases[] = {
        {SqlLogin(L"S", L"sa", L"pw};Port=2345"),
         "The password holds characters that the ODBC driver FreeTDS cannot take in a connection string."},
        {SqlLogin(L"S", L"a};b", L"pw"),
         "The user name holds characters that the ODBC driver FreeTDS cannot take in a connection string."},
        {Trusted(L"S", L"x};Port=1"),
         "The server name holds characters that the ODBC driver FreeTDS cannot take in a connection string."},
    };
    for (const RefusalCase& c : cases) {
        try {
            BuildConnectPlan(c.properties, OdbcDriverSettings{});
            ADD_FAILURE() << c.szMessage;
        } catch (const COdbcValueRefused& refused) {
            EXPECT_STREQ(refused.what(), c.szMessage);
        }
    }
    // Another driver reads ODBC's doubled braces: it carries the same password.
    const OdbcConnectPlan plan = BuildConnectPlan(SqlLogin(L"S", L"sa", L"pw};Port=2345"),
                                                  {L"ODBC Driver 18 for SQL Server", L"", OdbcQuoting::Standard});
    EXPECT_EQ(WideToNarrow(plan.targets.at(0).strOdbcConnectionString),
              "DRIVER={ODBC Driver 18 for SQL Server};Server=S;UID=sa;PWD={pw}};Port=2345};Database=master;");
}

TEST(OdbcConnectionString, QuotesEachValueAsItsDriverReadsIt)
{
    // FreeTDS 1.3.17, as measured: a plain value runs to the first ";" with its blanks; a value in
    // braces runs to the first "};" and keeps "}}" as two characters.
    struct QuoteCase
    {
        const wchar_t* wszValue;
        std::optional<std::wstring> freeTds;
        std::wstring standard;
    };
    const QuoteCase cases[] = {
        {L"plain value", L"plain value", L"plain value"},
        {L"", L"", L""},
        {L"host\\inst,1433", L"host\\inst,1433", L"host\\inst,1433"},
        {L" a b ", L" a b ", L"{ a b }"},
        {L"k=v", L"k=v", L"{k=v}"},
        {L"a}b", L"a}b", L"{a}}b}"},
        {L"a{b", L"a{b", L"{a{b}"},
        {L"{x", L"{{x}", L"{{x}"},
        {L"a;b", L"{a;b}", L"{a;b}"},
        {L"a;b}", L"{a;b}}", L"{a;b}}}"},
        {L"a;b}c{d=e'f g", L"{a;b}c{d=e'f g}", L"{a;b}}c{d=e'f g}"},
        {L"pw};Port=2345", std::nullopt, L"{pw}};Port=2345}"},
        {L"};", std::nullopt, L"{}};}"},
    };
    for (const QuoteCase& c : cases) {
        SCOPED_TRACE(WideToNarrow(c.wszValue));
        EXPECT_EQ(QuoteOdbcValue(c.wszValue, OdbcQuoting::FreeTds), c.freeTds);
        EXPECT_EQ(QuoteOdbcValue(c.wszValue, OdbcQuoting::Standard), c.standard);
    }
}

TEST(OdbcConnectionString, AppendsTheDriverAndItsOptions)
{
    struct Case
    {
        OdbcDriverSettings settings;
        std::wstring strExpected;
    };
    const std::vector<Case> cases = {
        {{L"ODBC Driver 18 for SQL Server", L"Encrypt=no;TrustServerCertificate=yes", OdbcQuoting::Standard},
         L"DRIVER={ODBC Driver 18 for SQL "
         L"Server};Server=S;Trusted_Connection=Yes;Database=KorvoQuar;Encrypt=no;TrustServerCertificate=yes"},
        {{L"Other}Driver", L"", OdbcQuoting::Standard},
         L"DRIVER={Other}}Driver};Server=S;Trusted_Connection=Yes;Database=KorvoQuar;"},
        {{L"FreeTDS", L" ;Encryption=require; "},
         L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;Database=KorvoQuar;Encryption=require;TDS_Version=7.4"},
        {{L"freetds", L"tds_version=7.3;Encryption=off"},
         L"DRIVER={freetds};Server=S;Trusted_Connection=Yes;Database=KorvoQuar;tds_version=7.3;Encryption=off"},
        {{L"FreeTDS", L""}, L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToNarrow(c.settings.strDriver + L" / " + c.settings.strDriverOptions));
        const OdbcConnectPlan plan = BuildConnectPlan(Trusted(L"S"), c.settings);
        ASSERT_EQ(plan.targets.size(), 1u);
        EXPECT_EQ(WideToNarrow(plan.targets[0].strOdbcConnectionString), WideToNarrow(c.strExpected));
    }
}

TEST(OdbcConnectionString, ReadsTheDriverFromTheRegistry)
{
    const std::string strHeader =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Keeplib\\ODBC]\r\n";
    struct Case
    {
        const char* szName;
        std::string strRegistry;
        std::wstring strDriver;
        std::wstring strOptions;
        OdbcQuoting quoting;
    };
    const std::vector<Case> cases = {
        {"no key", "Windows Registry Editor Version 5.00\r\n", L"FreeTDS", L"TDS_Version=7.4", OdbcQuoting::FreeTds},
        {"key without values", strHeader, L"FreeTDS", L"TDS_Version=7.4", OdbcQuoting::FreeTds},
        {"other driver, no options", strHeader + "\"Driver\"=\"ODBC Driver 18 for SQL Server\"\r\n",
         L"ODBC Driver 18 for SQL Server", L"", OdbcQuoting::Standard},
        {"other driver with options",
         strHeader + "\"driver\"=\" SQLite3 \"\r\n\"DRIVEROPTIONS\"=\"Timeout=100;NoTXN=0\"\r\n", L"SQLite3",
         L"Timeout=100;NoTXN=0", OdbcQuoting::Standard},
        {"empty driver is the default", strHeader + "\"Driver\"=\"\"\r\n\"DriverOptions\"=\"TDS_Version=7.2\"\r\n",
         L"FreeTDS", L"TDS_Version=7.2", OdbcQuoting::FreeTds},
        {"options emptied", strHeader + "\"DriverOptions\"=\"\"\r\n", L"FreeTDS", L"", OdbcQuoting::FreeTds},
        {"a number is no driver name", strHeader + "\"Driver\"=dword:00000001\r\n", L"FreeTDS", L"TDS_Version=7.4",
         OdbcQuoting::FreeTds},
        {"FreeTDS named by its library", strHeader + "\"Driver\"=\"/opt/odbc/libtdsodbc.so\"\r\n",
         L"/opt/odbc/libtdsodbc.so", L"TDS_Version=7.4", OdbcQuoting::FreeTds},
        {"another driver named by its library", strHeader + "\"Driver\"=\"/opt/odbc/libmsodbcsql-18.so\"\r\n",
         L"/opt/odbc/libmsodbcsql-18.so", L"", OdbcQuoting::Standard},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        const OdbcDriverSettings settings = ReadOdbcDriverSettings(platform::Registry::FromText(c.strRegistry));
        EXPECT_EQ(WideToNarrow(settings.strDriver), WideToNarrow(c.strDriver));
        EXPECT_EQ(WideToNarrow(settings.strDriverOptions), WideToNarrow(c.strOptions));
        EXPECT_EQ(settings.quoting, c.quoting);
    }
}

} // namespace
