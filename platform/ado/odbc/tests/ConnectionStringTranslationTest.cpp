#include "platform/ado/odbc/ConnectionStringTranslation.h"

#include "common/StringUtils.h"

#include <gtest/gtest.h>

using namespace platform::ado::odbc;

namespace {

struct TranslationCase
{
    const wchar_t* wszName;
    const wchar_t* wszOleDb;
    std::vector<OdbcConnectTarget> expectedTargets;
    std::int32_t lExpectedTimeout;
};

std::string Describe(const OdbcConnectPlan& plan)
{
    std::string str = "timeout " + std::to_string(plan.lLoginTimeout);
    for (const OdbcConnectTarget& target : plan.targets)
        str += "\n  " + WideToNarrow(target.strServer) + " -> " + WideToNarrow(target.strOdbcConnectionString);
    return str;
}

const std::vector<TranslationCase>& TranslationCases()
{
    static const std::vector<TranslationCase> cases = {
        {L"trusted login",
         L"Provider=SQLOLEDB;Data Source=S;Trusted_Connection=Yes;Connect Timeout=30;Initial Catalog=KorvoQuar",
         {{L"S", L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;Database=KorvoQuar;TDS_Version=7.4"}},
         30},
        {L"SQL login with failover partner",
         L"Provider=SQLNCLI10;Data Source=A;Failover Partner=B;User ID=u;Password=p;Connect Timeout=5;Initial "
         L"Catalog=master",
         {{L"A", L"DRIVER={FreeTDS};Server=A;UID=u;PWD=p;Database=master;TDS_Version=7.4"},
          {L"B", L"DRIVER={FreeTDS};Server=B;UID=u;PWD=p;Database=master;TDS_Version=7.4"}},
         5},
        {L"named instance",
         L"Provider=SQLOLEDB;Data Source=DBHOST\\KORVO;Trusted_Connection=Yes;Connect Timeout=15;Initial "
         L"Catalog=master",
         {{L"DBHOST\\KORVO",
           L"DRIVER={FreeTDS};Server=DBHOST\\KORVO;Trusted_Connection=Yes;Database=master;TDS_Version=7.4"}},
         15},
        {L"host and port",
         L"Provider=SQLOLEDB;Data Source=10.1.2.3,1444;Trusted_Connection=Yes;Connect Timeout=2;Initial Catalog=master",
         {{L"10.1.2.3,1444",
           L"DRIVER={FreeTDS};Server=10.1.2.3,1444;Trusted_Connection=Yes;Database=master;TDS_Version=7.4"}},
         2},
        {L"this computer by its Windows names",
         L"Provider=SQLNCLI10;Data Source=(local);Failover Partner=.\\MIRROR;Trusted_Connection=Yes;Connect Timeout=1",
         {{L"(local)", L"DRIVER={FreeTDS};Server=localhost;Trusted_Connection=Yes;TDS_Version=7.4"},
          {L".\\MIRROR", L"DRIVER={FreeTDS};Server=localhost\\MIRROR;Trusted_Connection=Yes;TDS_Version=7.4"}},
         1},
        {L"empty data source is this computer, tcp: prefix dropped",
         L"Provider=SQLNCLI10;Data Source=;Failover Partner=tcp:mirror,1500;Trusted_Connection=Yes;Connect Timeout=3",
         {{L"", L"DRIVER={FreeTDS};Server=localhost;Trusted_Connection=Yes;TDS_Version=7.4"},
          {L"tcp:mirror,1500", L"DRIVER={FreeTDS};Server=mirror,1500;Trusted_Connection=Yes;TDS_Version=7.4"}},
         3},
        {L"values that need braces, a password holding ; } { and =",
         L"Provider=SQLOLEDB;Data Source=S;User ID=dom{x};Password=a;b}c{d=e;Connect Timeout=0;Initial "
         L"Catalog=Korvo=Quar",
         {{L"S", L"DRIVER={FreeTDS};Server=S;UID={dom{x}}};PWD={a;b}}c{d=e};Database={Korvo=Quar};TDS_Version=7.4"}},
         0},
        {L"password with blanks at its ends, kept as written; a ; before a known clause ends it",
         L"Provider=SQLOLEDB;Data Source=S;User ID=u;Password= pw ;;Connect Timeout=9",
         {{L"S", L"DRIVER={FreeTDS};Server=S;UID=u;PWD={ pw ;};TDS_Version=7.4"}},
         9},
        {L"trusted login wins over a user name; names without regard to case",
         L"provider=sqloledb;DATA SOURCE=S;user id=u;password=p;trusted_connection=yes;initial catalog=db",
         {{L"S", L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;Database=db;TDS_Version=7.4"}},
         15},
        {L"Trusted_Connection=No is an SQL login",
         L"Provider=SQLOLEDB;Data Source=S;Trusted_Connection=No;User ID=u;Password=p",
         {{L"S", L"DRIVER={FreeTDS};Server=S;UID=u;PWD=p;TDS_Version=7.4"}},
         15},
        {L"an empty failover partner is none; a bad timeout is the default",
         L"Provider=SQLNCLI10;Data Source=S;Failover Partner=;Trusted_Connection=Yes;Connect Timeout=soon",
         {{L"S", L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;TDS_Version=7.4"}},
         15},
        {L"negative timeout is the default; unknown clauses are dropped",
         L"Provider=SQLOLEDB;Data Source=S;Application Name=x;Trusted_Connection=Yes;Connect Timeout=-4",
         {{L"S", L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;TDS_Version=7.4"}},
         15},
    };
    return cases;
}

TEST(ConnectionStringTranslation, TranslatesEachClauseForTheDriver)
{
    const OdbcDriverSettings defaults;
    for (const TranslationCase& c : TranslationCases()) {
        SCOPED_TRACE(WideToNarrow(c.wszName));
        const OdbcConnectPlan plan = TranslateConnectionString(c.wszOleDb, defaults);
        OdbcConnectPlan expected;
        expected.targets = c.expectedTargets;
        expected.lLoginTimeout = c.lExpectedTimeout;
        EXPECT_EQ(Describe(plan), Describe(expected));
    }
}

TEST(ConnectionStringTranslation, AppendsTheDriverAndItsOptions)
{
    const std::wstring strOleDb =
        L"Provider=SQLOLEDB;Data Source=S;Trusted_Connection=Yes;Connect Timeout=30;Initial Catalog=db";
    struct Case
    {
        OdbcDriverSettings settings;
        std::wstring strExpected;
    };
    const std::vector<Case> cases = {
        {{L"ODBC Driver 18 for SQL Server", L"Encrypt=no;TrustServerCertificate=yes"},
         L"DRIVER={ODBC Driver 18 for SQL "
         L"Server};Server=S;Trusted_Connection=Yes;Database=db;Encrypt=no;TrustServerCertificate=yes"},
        {{L"Other}Driver", L""}, L"DRIVER={Other}}Driver};Server=S;Trusted_Connection=Yes;Database=db"},
        {{L"FreeTDS", L" ;Encryption=require; "},
         L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;Database=db;Encryption=require;TDS_Version=7.4"},
        {{L"freetds", L"tds_version=7.3;Encryption=off"},
         L"DRIVER={freetds};Server=S;Trusted_Connection=Yes;Database=db;tds_version=7.3;Encryption=off"},
        {{L"FreeTDS", L""}, L"DRIVER={FreeTDS};Server=S;Trusted_Connection=Yes;Database=db;TDS_Version=7.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToNarrow(c.settings.strDriver + L" / " + c.settings.strDriverOptions));
        const OdbcConnectPlan plan = TranslateConnectionString(strOleDb, c.settings);
        ASSERT_EQ(plan.targets.size(), 1u);
        EXPECT_EQ(WideToNarrow(plan.targets[0].strOdbcConnectionString), WideToNarrow(c.strExpected));
    }
}

TEST(ConnectionStringTranslation, ReadsTheDriverFromTheRegistry)
{
    const std::string strHeader =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Keeplib\\ODBC]\r\n";
    struct Case
    {
        const char* szName;
        std::string strRegistry;
        std::wstring strDriver;
        std::wstring strOptions;
    };
    const std::vector<Case> cases = {
        {"no key", "Windows Registry Editor Version 5.00\r\n", L"FreeTDS", L"TDS_Version=7.4"},
        {"key without values", strHeader, L"FreeTDS", L"TDS_Version=7.4"},
        {"other driver, no options", strHeader + "\"Driver\"=\"ODBC Driver 18 for SQL Server\"\r\n",
         L"ODBC Driver 18 for SQL Server", L""},
        {"other driver with options",
         strHeader + "\"driver\"=\" SQLite3 \"\r\n\"DRIVEROPTIONS\"=\"Timeout=100;NoTXN=0\"\r\n", L"SQLite3",
         L"Timeout=100;NoTXN=0"},
        {"empty driver is the default", strHeader + "\"Driver\"=\"\"\r\n\"DriverOptions\"=\"TDS_Version=7.2\"\r\n",
         L"FreeTDS", L"TDS_Version=7.2"},
        {"options emptied", strHeader + "\"DriverOptions\"=\"\"\r\n", L"FreeTDS", L""},
        {"a number is no driver name", strHeader + "\"Driver\"=dword:00000001\r\n", L"FreeTDS", L"TDS_Version=7.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        const OdbcDriverSettings settings = ReadOdbcDriverSettings(platform::Registry::FromText(c.strRegistry));
        EXPECT_EQ(WideToNarrow(settings.strDriver), WideToNarrow(c.strDriver));
        EXPECT_EQ(WideToNarrow(settings.strDriverOptions), WideToNarrow(c.strOptions));
    }
}

TEST(ConnectionStringTranslation, QuotesOnlyWhatNeedsIt)
{
    EXPECT_EQ(QuoteOdbcValue(L"plain value"), L"plain value");
    EXPECT_EQ(QuoteOdbcValue(L""), L"");
    EXPECT_EQ(QuoteOdbcValue(L"host\\inst,1433"), L"host\\inst,1433");
    EXPECT_EQ(QuoteOdbcValue(L"a;b"), L"{a;b}");
    EXPECT_EQ(QuoteOdbcValue(L"}"), L"{}}}");
    EXPECT_EQ(QuoteOdbcValue(L"{x"), L"{{x}");
    EXPECT_EQ(QuoteOdbcValue(L"k=v"), L"{k=v}");
    EXPECT_EQ(QuoteOdbcValue(L"\tx"), L"{\tx}");
}

} // namespace
