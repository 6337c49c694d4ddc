// keepctl through the real ODBC driver (FreeTDS) against the TDS test server: what reaches the
// server, and what keepctl prints, for the credentials a user may type and for every database
// command.

#include "KeepctlRun.h"
#include "platform/ado/odbc/OdbcDriverLibrary.h"
#include "testsupport/LoopbackSocket.h"
#include "testsupport/TdsTestServer.h"

#include <gtest/gtest.h>

namespace {

const std::string kVersionRules = "sql|SELECT name FROM dbo.sysobjects|rows|name|BSTR:SPQuarVersion\n"
                                  "rpc|[dbo].[SPQuarVersion]|out|I4:0,I4:1,I4:1,DATE:2009-09-18 09:00:00\n";
const std::string kVersionPrinted = "VERSION is 1.1 build 2009-09-18 09:00:00\n";

class KeepctlFreeTdsTest : public KeepctlFixture
{
protected:
    testsupport::CTdsTestServer StartServer(const std::string& strName, const std::string& strRules) const
    {
        return testsupport::CTdsTestServer(TDSSERVER_PATH, m_folder.Path(), strName, strRules);
    }
};

std::string Replaced(std::string strText, const std::string& strPlaceholder, const std::string& strValue)
{
    for (std::size_t at = strText.find(strPlaceholder); at != std::string::npos;
         at = strText.find(strPlaceholder, at + strValue.size()))
        strText.replace(at, strPlaceholder.size(), strValue);
    return strText;
}

} // namespace

TEST_F(KeepctlFreeTdsTest, CredentialsReachTheServerAsTyped)
{
    // A second server waits for logins that a value could smuggle in: none may ever reach it.
    const testsupport::CTdsTestServer other = StartServer("other", "login|sa|pw\nlogin|sa|x\nlogin|other|z\n");
    struct CredentialCase
    {
        const char* szName;
        std::string strUser;
        std::string strPassword; // "@OTHER@" stands for the second server's address
    };
    const CredentialCase cases[] = {
        {"plain", "sa", "Sw0rdfish"},
        {"a password naming another server", "sa", "pw;Server=@OTHER@"},
        {"a password naming another password", "sa", "a;PWD=x"},
        {"a password naming another user", "sa", "z;UID=other"},
        {"a password asking for the integrated login", "sa", "c;Trusted_Connection=Yes"},
        {"a user name naming another server", "sa;Server=@OTHER@", "pw"},
        {"a password of ; } { = ' and blanks", "sa", " ;}{=' Sw0rd "},
        {"braces in both", "s}a{", "{Sw0rd}"},
        {"letters beyond ASCII", "us\xc3\xa9", "p\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80Sw0rd"},
    };
    // FreeTDS reads braces its own way under whatever name the driver manager knows it by.
    const std::string strSysIni = m_folder.Path().string();
    const std::string strLibrary = platform::ado::odbc::OdbcDriverLibrary(L"FreeTDS").string();
    m_folder.Write("odbcinst.ini", "[FreeTDS]\nDriver=" + strLibrary + "\n[TDS Server]\nDriver=" + strLibrary + "\n");
    const std::pair<const char*, std::string> namings[] = {
        {"FreeTDS", ""},
        {"TDS Server", "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Keeplib\\ODBC]\r\n\"Driver\"=\"TDS Server\"\r\n"},
    };
    for (const auto& [szDriver, strRegistryKeys] : namings) {
        m_strRegistryKeys = strRegistryKeys;
        for (const CredentialCase& c : cases) {
            SCOPED_TRACE(std::string(szDriver) + ": " + c.szName);
            const std::string strUser = Replaced(c.strUser, "@OTHER@", other.Server());
            const std::string strPassword = Replaced(c.strPassword, "@OTHER@", other.Server());
            const testsupport::CTdsTestServer server =
                StartServer("server", "login|" + strUser + "|" + strPassword + "\n" + kVersionRules);
            ClearTraces();
            const auto result = RunKeepctl({"VERSION", "QUAR", "-s", server.Server(), "-u", strUser, "-p", strPassword},
                                           {{"ODBCSYSINI", strSysIni}});
            EXPECT_EQ(result.strStdout, kVersionPrinted);
            EXPECT_EQ(result.iExitStatus, 0);
            EXPECT_EQ(server.Transcript().substr(0, server.Transcript().find("\n#1 sql:")),
                      "#1 prelogin\n#1 login user=" + strUser + " database=KorvoQuar: accepted");
            for (const std::string& strText : {TraceFile("keepctl"), TraceFile("keeplib"), result.strStdout})
                EXPECT_EQ(strText.find(strPassword), std::string::npos);
        }
    }
    EXPECT_EQ(other.Transcript(), "");
}

TEST_F(KeepctlFreeTdsTest, LoginsThatCannotSucceedFailWithTheirCode)
{
    struct FailedLoginCase
    {
        const char* szName;
        std::string strPassword;
        std::string strPrinted;
        int iExitStatus;
        std::string strTranscript;
        std::string strTraced;
    };
    const FailedLoginCase cases[] = {
        // FreeTDS ends a value in braces at the first "};": the rest would become clauses.
        {"a value the driver cannot carry", "pw};Port=2345", "Failed with code 0x80070057.\n", 0x57, "",
         "ERR: [0]: Number=0 Source=ODBC connection Description=The password holds characters that the ODBC "
         "driver FreeTDS cannot take in a connection string. \r\n"},
        {"a wrong password", "wrong", "Failed with code 0x80040e4d.\n", 0x4D,
         "#1 prelogin\n#1 login user=sa database=KorvoQuar: refused\n",
         "ERR: [0]: Number=18456 Source=[42000] [FreeTDS][SQL Server] (@SERVER@) Description=Login failed for user "
         "'sa'. \r\n"},
    };
    for (const FailedLoginCase& c : cases) {
        SCOPED_TRACE(c.szName);
        const testsupport::CTdsTestServer server = StartServer("server", "login|sa|right\n");
        ClearTraces();
        const auto result = RunKeepctl({"VERSION", "QUAR", "-s", server.Server(), "-u", "sa", "-p", c.strPassword});
        EXPECT_EQ(result.strStdout, c.strPrinted);
        EXPECT_EQ(result.iExitStatus, c.iExitStatus);
        EXPECT_EQ(server.Transcript(), c.strTranscript);
        const std::string strTrace = TraceFile("keeplib");
        EXPECT_NE(strTrace.find(Replaced(c.strTraced, "@SERVER@", server.Server())), std::string::npos);
        EXPECT_EQ(strTrace.find(c.strPassword), std::string::npos);
    }
}

TEST_F(KeepctlFreeTdsTest, ThePasswordCanComeFromTheEnvironment)
{
    const testsupport::CTdsTestServer server = StartServer("server", "login|sa|From the environment\n" + kVersionRules);
    const auto result = RunKeepctl({"VERSION", "QUAR", "-s", server.Server(), "-u", "sa"},
                                   {{"VESTREL_PASSWORD", "From the environment"}});
    EXPECT_EQ(result.strStdout, kVersionPrinted);
    EXPECT_NE(TraceFile("keepctl").find("INF: Password taken from VESTREL_PASSWORD\r\n"), std::string::npos);
    // A password on the command line wins; without -u the login is the integrated one.
    ClearTraces();
    EXPECT_EQ(RunKeepctl({"VERSION", "QUAR", "-s", server.Server(), "-u", "sa", "-p", "typed"},
                         {{"VESTREL_PASSWORD", "From the environment"}})
                  .strStdout,
              "Failed with code 0x80040e4d.\n");
    EXPECT_EQ(TraceFile("keepctl").find("VESTREL_PASSWORD"), std::string::npos);
}

TEST_F(KeepctlFreeTdsTest, ThePasswordLeavesTheProcessListOnceRead)
{
    // A server that accepts the connection and never answers: keepctl waits in its login, without
    // a limit, long after it has read its arguments, until the test ends it.
    testsupport::CLoopbackSocket server;
    server.Listen();
    // A password typed twice: the first was typed too, though the last one counts.
    const testsupport::CRunningProgram keepctl(
        KEEPCTL_PATH,
        {"VERSION", "QUAR", "-s", server.Server(), "-u", "sa", "-p", "Typo", "-p", "Sw0rdfish", "-cn", "0"},
        KeepctlEnvironment());
    const CAutoFileHandle connection = server.Accept(testsupport::kProgramHangGuard);
    ASSERT_TRUE(connection);
    const std::string strCommandLine = testsupport::ReadFile("/proc/" + std::to_string(keepctl.Pid()) + "/cmdline");
    using namespace std::string_literals;
    EXPECT_EQ(strCommandLine.substr(strCommandLine.find("VERSION")), "VERSION\0QUAR\0-s\0"s + server.Server() +
                                                                         "\0-u\0sa\0-p\0"s + std::string(4, '\0') +
                                                                         "\0-p\0"s + std::string(9, '\0') +
                                                                         "\0-cn\0"
                                                                         "0\0"s);
}

TEST_F(KeepctlFreeTdsTest, EveryDatabaseCommandRunsThroughTheDriver)
{
    struct CommandCase
    {
        std::vector<std::string> arguments;
        std::string strRules;
        std::string strPrinted;
        int iExitStatus;
    };
    const std::string strQuarExists =
        "sql|SELECT name FROM master.dbo.sysdatabases WHERE name = N'KorvoQuar'|rows|name|BSTR:KorvoQuar\n";
    const CommandCase cases[] = {
        {{"SETUP", "CNFG", "-a", "CORP\\svc"},
         "sql|SELECT name FROM master.dbo.sysdatabases WHERE name = N'KorvoCnfg'|rows|name\n",
         "SETUP done!\n",
         0},
        {{"SETUP", "QUAR", "-a", "CORP\\nobody"},
         strQuarExists + kVersionRules + "sql|DECLARE @ntaccount|error|15401|Windows NT user or group not found.\n",
         "WARNING: Setup was unable to configure the access permissions on SQL Server instance '@SERVER@' for user "
         "'CORP\\nobody'.\nSETUP done!\n",
         1},
        {{"SETUP", "QUAR", "-a", "CORP\\svc"}, strQuarExists + kVersionRules, "SETUP done!\n", 0},
        {{"VERSION", "QUAR"}, kVersionRules, kVersionPrinted, 0},
        {{"BACKUP", "QUAR"},
         strQuarExists + "sql|BACKUP DATABASE|error|4208|The backup set cannot be overwritten.\n",
         "Auto backup failed. Try to provide a backup file name.\n",
         1},
        {{"BACKUP", "QUAR", "-b", "/b/q.dat"},
         strQuarExists + "sql|BACKUP DATABASE|info|3211|10 percent processed.\n",
         "BACKUP done!\n",
         0},
        // No database to back up automatically.
        {{"BACKUP", "QUAR"},
         "sql|SELECT name FROM master.dbo.sysdatabases|rows|name\n",
         "Failed with code 0x80070002.\n",
         2},
        {{"RESTORE", "DIR"}, "", "RESTORE done!\n", 0},
        {{"DELETE", "RPRT"}, "sql|IF EXISTS|rows|name\n", "DELETE done!\n", 0},
        {{"SQLSERVERCHECK"},
         "sql|xp_msver|rows|Internal_Value,Character_Value|I4:458752,BSTR:7.00.623\n",
         "WARNING: SQL server version is unsupported\nSQLSERVERCHECK done!\n",
         1},
        {{"SQLSERVERCHECKSVRROLE", "-sr", "sysadmin"},
         "sql|SELECT IS_SRVROLEMEMBER|rows|SrvRoleMember|I4:1\n",
         "SQLSERVERCHECKSVRROLE done!\n",
         0},
        {{"SQLSERVERCHECKSVRROLE", "-sr", "sysadmin"},
         "sql|SELECT IS_SRVROLEMEMBER|rows|SrvRoleMember|I4:0\n",
         "SQLSERVERCHECKSVRROLE done!\n",
         1},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
        const testsupport::CTdsTestServer server = StartServer("server", "login|sa|Sw0rdfish\n" + c.strRules);
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"-s", server.Server(), "-u", "sa", "-p", "Sw0rdfish"});
        ClearTraces();
        const auto result = RunKeepctl(arguments);
        EXPECT_EQ(result.strStdout, Replaced(c.strPrinted, "@SERVER@", server.Server()));
        EXPECT_EQ(result.iExitStatus, c.iExitStatus);
    }
}

TEST_F(KeepctlFreeTdsTest, TheServerSeesTheVersionQueryAsTheLibrarySendsIt)
{
    const testsupport::CTdsTestServer server = StartServer("server", "login|sa|Sw0rdfish\n" + kVersionRules);
    ASSERT_EQ(RunKeepctl({"VERSION", "QUAR", "-s", server.Server(), "-u", "sa", "-p", "Sw0rdfish"}).strStdout,
              kVersionPrinted);
    EXPECT_EQ(server.Transcript(),
              "#1 prelogin\n"
              "#1 login user=sa database=KorvoQuar: accepted\n"
              "#1 sql: SELECT name FROM dbo.sysobjects where id = object_id(N'[dbo].[SPQuarVersion]') and "
              "OBJECTPROPERTY(id, N'IsProcedure') = 1\n"
              "#1 rpc: [dbo].[SPQuarVersion]\n"
              "#1   param  output int\n"
              "#1   param  output int\n"
              "#1   param  output datetime2(7)\n");
}

TEST_F(KeepctlFreeTdsTest, UnreachableServerFailsQuicklyWithTheDriversErrorsInTheTrace)
{
    // Nothing listens on port 1 of this machine.
    const auto result = RunKeepctl({"VERSION", "QUAR", "-s", "127.0.0.1,1", "-cn", "2"});
    EXPECT_EQ(result.strStdout, "Failed with code 0x80004005.\n");
    EXPECT_EQ(result.iExitStatus, 5);
    const std::string strTrace = TraceFile("keeplib");
    EXPECT_NE(strTrace.find("ERR: _ConnectionPtr->Open failed with hr=(0x80004005).\r\n"), std::string::npos);
    EXPECT_NE(strTrace.find("ERR: [0]: Number="), std::string::npos);
    EXPECT_NE(strTrace.find("ERR: Connect(KorvoQuar) failed with hr=(0x80004005).\r\n"), std::string::npos);
}

TEST_F(KeepctlFreeTdsTest, TimeoutsAreDeadlinesWhateverTheServerTrickles)
{
    // Each byte of the server's answers comes a while after the last: the driver's own timers start
    // again with every byte and never run out. A byte a second makes an answer that no deadline of
    // a second can wait for, however the machine holds the deadline back; 20 ms one that takes
    // seconds and still ends, well within a deadline of ten minutes.
    struct DeadlineCase
    {
        const char* szName;
        std::string strPace;
        std::vector<std::string> timeouts;
        std::string strPrinted;
        int iExitStatus;
        std::string strTraced;
    };
    const DeadlineCase cases[] = {
        {"a login past its timeout",
         "pace|login|1000\n",
         {"-cn", "1"},
         "Failed with code 0x80004005.\n",
         5,
         "Source=[HYT00] ODBC (@SERVER@) Description=Login timeout expired \r\n"},
        {"a login without a limit", "pace|login|20\n", {"-cn", "0"}, kVersionPrinted, 0, "INF: Success\r\n"},
        {"a statement past its timeout",
         "pace|answers|1000\n",
         {"-cm", "1"},
         "Failed with code 0x80040e31.\n",
         0x31,
         "INF: bstrDescription = 'Timeout expired'\r\n"},
        {"a statement without a limit", "pace|answers|20\n", {"-cm", "0"}, kVersionPrinted, 0, "INF: Success\r\n"},
        {"statements within their timeout",
         "pace|answers|20\n",
         {"-cm", "600"},
         kVersionPrinted,
         0,
         "INF: Success\r\n"},
    };
    for (const DeadlineCase& c : cases) {
        SCOPED_TRACE(c.szName);
        const testsupport::CTdsTestServer server = StartServer("server", "login|sa|pw\n" + c.strPace + kVersionRules);
        std::vector<std::string> arguments{"VERSION", "QUAR", "-s", server.Server(), "-u", "sa", "-p", "pw"};
        arguments.insert(arguments.end(), c.timeouts.begin(), c.timeouts.end());
        ClearTraces();
        const auto result = RunKeepctl(arguments);
        EXPECT_EQ(result.strStdout, c.strPrinted);
        EXPECT_EQ(result.iExitStatus, c.iExitStatus);
        EXPECT_NE(TraceFile("keeplib").find(Replaced(c.strTraced, "@SERVER@", server.Server())), std::string::npos);
    }
}

TEST_F(KeepctlFreeTdsTest, ALostConnectionIsAFailureNotARefusedStatement)
{
    // The server goes away in the middle of the automatic backup: that is no refusal to overwrite
    // a recent backup, and no statement the server rejected.
    const testsupport::CTdsTestServer server = StartServer(
        "server", "login|sa|pw\n"
                  "sql|SELECT name FROM master.dbo.sysdatabases WHERE name = N'KorvoQuar'|rows|name|BSTR:KorvoQuar\n"
                  "sql|BACKUP DATABASE|drop\n");
    const auto result = RunKeepctl({"BACKUP", "QUAR", "-s", server.Server(), "-u", "sa", "-p", "pw"});
    EXPECT_EQ(result.strStdout, "Failed with code 0x80004005.\n");
    EXPECT_EQ(result.iExitStatus, 5);
    EXPECT_NE(server.Transcript().find("#1 dropped the connection\n"), std::string::npos);
    EXPECT_NE(TraceFile("keeplib").find("ERR: KeeplibBackupDatabaseEx failed with hr=(0x80004005).\r\n"),
              std::string::npos);
}
