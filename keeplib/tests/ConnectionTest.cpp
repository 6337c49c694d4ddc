#include "FakeServer.h"
#include "common/ComError.h"
#include "database/DBConnectionHelper.h"

using namespace UTIL::DBConnectionHelper;

namespace {

struct ConnectionCase
{
    const wchar_t* wszServer;
    std::int32_t lTimeout;
    std::int32_t lAuthType;
    const wchar_t* wszUser;
    std::wstring strOpened;
};

// A provider that cannot make a connection object at all.
class CNoConnectionProvider : public platform::ado::Provider
{
public:
    platform::ado::ConnectionPtr CreateConnection() override { throw UTIL::COM::_com_error(REGDB_E_CLASSNOTREG); }
};

} // namespace

class ConnectionTest : public FakeServerTest
{
};

TEST_F(ConnectionTest, BuildsTheConnectionStringClauseByClause)
{
    const ConnectionCase cases[] = {
        {L"S", 30, 0, L"",
         L"Provider=SQLOLEDB;Data Source=S;Trusted_Connection=Yes;Connect Timeout=30;Initial Catalog=KorvoQuar"},
        {L"SRV;MIRROR", 30, 0, L"",
         L"Provider=SQLNCLI10;Data Source=SRV;Failover Partner=MIRROR;Trusted_Connection=Yes;Connect Timeout=30;"
         L"Initial Catalog=KorvoQuar"},
        {L"SRV;", 5, 0, L"",
         L"Provider=SQLOLEDB;Data Source=SRV;Trusted_Connection=Yes;Connect Timeout=5;Initial Catalog=KorvoQuar"},
        {L";MIRROR", 30, 0, L"",
         L"Provider=SQLNCLI10;Data Source=;Failover Partner=MIRROR;Trusted_Connection=Yes;Connect Timeout=30;"
         L"Initial Catalog=KorvoQuar"},
        {L"A;B;C", 30, 0, L"",
         L"Provider=SQLNCLI10;Data Source=A;Failover Partner=B;C;Trusted_Connection=Yes;Connect Timeout=30;"
         L"Initial Catalog=KorvoQuar"},
        {L"HOST\\INST", 0, 1, L"sa",
         L"Provider=SQLOLEDB;Data Source=HOST\\INST;User ID=sa;Password=***;Connect Timeout=0;Initial "
         L"Catalog=KorvoQuar"},
    };
    for (const ConnectionCase& c : cases) {
        ConnectionPtr pCnx;
        EXPECT_EQ(Connect(c.wszServer, L"KorvoQuar", pCnx, c.lTimeout, c.lAuthType, c.wszUser, L"pw"), S_OK);
        EXPECT_TRUE(pCnx);
        EXPECT_EQ(Disconnect(pCnx), S_OK);
        EXPECT_FALSE(pCnx);
        EXPECT_EQ(Log().back(), L"Close");
        EXPECT_EQ(Log()[Log().size() - 2], L"Open: " + c.strOpened);
    }
}

TEST_F(ConnectionTest, CarriesEachSettingAsAFieldOfItsOwn)
{
    // A value that holds ";" or "=" stays one value: nothing is ever read back out of the text.
    struct FieldsCase
    {
        const wchar_t* wszServer;
        std::int32_t lAuthType;
        const wchar_t* wszUser;
        const wchar_t* wszPassword;
        ConnectionProperties expected; // without the text
    };
    const FieldsCase cases[] = {
        {L"A;B;C", 0, L"", L"", {L"", L"A", L"B;C", true, L"", L"", 30, L"KorvoQuar"}},
        {L"S",
         1,
         L"sa;Server=127.0.0.1,2345",
         L"pw;Trusted_Connection=Yes;PWD=x",
         {L"", L"S", L"", false, L"sa;Server=127.0.0.1,2345", L"pw;Trusted_Connection=Yes;PWD=x", 30, L"KorvoQuar"}},
        {L"HOST\\INST;", 1, L"sa", L"", {L"", L"HOST\\INST", L"", false, L"sa", L"", 30, L"KorvoQuar"}},
    };
    for (const FieldsCase& c : cases) {
        ConnectionPtr pCnx;
        ASSERT_EQ(Connect(c.wszServer, L"KorvoQuar", pCnx, 30, c.lAuthType, c.wszUser, c.wszPassword), S_OK);
        ConnectionProperties opened = m_pServer->Connections().back();
        opened.strConnectionString.clear();
        EXPECT_EQ(opened, c.expected) << WideToNarrow(c.wszServer);
    }
}

TEST_F(ConnectionTest, TheLogHidesThePasswordWhole)
{
    const std::wstring passwords[] = {L"pw;Server=127.0.0.1,2345;x", L"", std::wstring(30000, L';') + L"tail",
                                      std::wstring(30000, L'x')};
    for (const std::wstring& strPassword : passwords) {
        ConnectionPtr pCnx;
        ASSERT_EQ(Connect(L"S", L"master", pCnx, 30, 1, L"sa", strPassword.c_str()), S_OK);
        EXPECT_EQ(WideToNarrow(Log().back()), "Open: Provider=SQLOLEDB;Data Source=S;User ID=sa;Password=***;"
                                              "Connect Timeout=30;Initial Catalog=master");
    }
}

TEST_F(ConnectionTest, BadAuthenticationArgumentsFailBeforeAnyConnection)
{
    ConnectionPtr pCnx;
    const auto errorOf = [&](auto&& connect) {
        try {
            connect();
        } catch (const UTIL::COM::_com_error& e) {
            return e.Error();
        }
        return S_OK;
    };
    EXPECT_EQ(errorOf([&] { Connect(L"S", L"master", pCnx, 30, 1, nullptr, L"pw"); }), E_POINTER);
    EXPECT_EQ(errorOf([&] { Connect(L"S", L"master", pCnx, 30, 1, L"sa", nullptr); }), E_POINTER);
    EXPECT_EQ(errorOf([&] { Connect(L"S", L"master", pCnx, 30, 2, L"sa", L"pw"); }), E_INVALIDARG);
    EXPECT_EQ(errorOf([&] { Connect(nullptr, L"master", pCnx, 30, 0, L"", L""); }), E_POINTER);
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(Traced("ERR: Failed 'wszUserName == NULL' : Win32 error 0x80004003"));
    EXPECT_TRUE(Traced("ERR: Failed 'true' : Win32 error 0x80070057"));
}

TEST_F(ConnectionTest, FailedOpenTracesTheErrorsAndReturnsTheirCode)
{
    FailOpen(L"Data Source=DOWN", E_FAIL);
    ConnectionPtr pCnx;
    EXPECT_EQ(Connect(L"DOWN", L"master", pCnx, 30, 0, L"", L""), E_FAIL);
    EXPECT_FALSE(pCnx);
    EXPECT_EQ(TracedFileColumn("ERR: _ConnectionPtr->Open failed with hr=(0x80004005)."), "DBConnectionHelper.c");
    EXPECT_TRUE(Traced("ERR: [0]: Number=17 Source=Microsoft OLE DB Provider for SQL Server "
                       "Description=SQL Server does not exist or access denied. "));
    EXPECT_FALSE(Traced("INF: Returning, hrResult=0x80004005"));
}

TEST_F(ConnectionTest, AConnectionObjectThatCannotBeMadeIsTracedAndItsCodeReturned)
{
    const platform::ado::CScopedProvider provider(std::make_shared<CNoConnectionProvider>());
    ConnectionPtr pCnx;
    EXPECT_EQ(Connect(L"SQL01", L"master", pCnx, 30, 0, L"", L""), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(pCnx);
    const std::vector<std::string> messages = TracedMessages();
    const auto failure =
        std::find(messages.begin(), messages.end(), "ERR: CoCreateInstance(Connection) failed with hr=(0x80040154).");
    ASSERT_NE(failure, messages.end());
    EXPECT_EQ(TracedFileColumn(*failure), "DBConnectionHelper.c");
    // Returned at once: no result line follows.
    EXPECT_EQ(std::vector<std::string>(failure + 1, messages.end()),
              (std::vector<std::string>{"INF: + Leaving Function : UTIL::DBConnectionHelper::Connect()",
                                        "INF: + Leaving Function : UTIL::DBConnectionHelper::Connect()"}));
}

TEST_F(ConnectionTest, DisconnectingNothingSucceeds)
{
    ConnectionPtr pCnx;
    EXPECT_EQ(Disconnect(pCnx), S_OK);
    EXPECT_TRUE(Traced("INF: Success"));
    EXPECT_TRUE(Log().empty());
}

TEST_F(ConnectionTest, ServersOfAMirroredPair)
{
    std::vector<std::wstring> servers;
    GetServers(L"SRV;MIRROR", servers);
    EXPECT_EQ(servers, (std::vector<std::wstring>{L"SRV", L"MIRROR"}));
    GetServers(L"SRV", servers);
    EXPECT_EQ(servers, (std::vector<std::wstring>{L"SRV"}));
    GetServers(L"SRV;", servers);
    EXPECT_EQ(servers, (std::vector<std::wstring>{L"SRV"}));
}
