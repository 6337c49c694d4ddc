// keepctl as its users run it: the bytes it prints, its exit status and its trace files.

#include "KeepctlRun.h"
#include "common/StringUtils.h"

#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>

namespace {

const std::string kUsage =
    "\n"
    "IMPORTANT: using this tool can alter the Velmora databases and delete data. Before using it make sure you "
    "understand the risks, make a backup and understand how to restore it if a problem occurs.\n"
    "\n"
    "Usage:\n"
    "------\n"
    "Backup existing database:\n"
    " keepctl BACKUP <RPRT|QUAR|DIR|CNFG> [-b backupfile] -s server [-cn connection_timeout] [-cm command_timeout] "
    "[-u user] [-p password]\n"
    "Restore database:\n"
    " keepctl RESTORE <RPRT|QUAR|DIR|CNFG> [-b backupfile] -s server [-cn connection_timeout] [-cm command_timeout] "
    "[-u user] [-p password]\n"
    "Delete database:\n"
    " keepctl DELETE <RPRT|QUAR|DIR|CNFG> -s server [-cn connection_timeout] [-cm command_timeout] [-u user] "
    "[-p password]\n"
    "Setup database:\n"
    " keepctl SETUP <RPRT|QUAR|DIR|CNFG> -s server -a account [-cn connection_timeout] [-cm command_timeout] "
    "[-u user] [-p password]\n"
    "Display database version:\n"
    " keepctl VERSION <RPRT|QUAR|DIR|CNFG> -s server [-cn connection_timeout] [-cm command_timeout] [-u user] "
    "[-p password]\n"
    "Display SQL Servers visible on the network:\n"
    " keepctl BROWSESQLSERVERS [-o output file-path] [-t server-type (1=remote, 2=local, 4=clustered)] [-d domain]\n"
    "Basic SQL Server check:\n"
    " keepctl SQLSERVERCHECK -s server [-cn connection_timeout] [-cm command_timeout] [-u user] [-p password]\n"
    "SQL Server role membership check:\n"
    " keepctl SQLSERVERCHECKSVRROLE -s server [-cn connection_timeout] [-cm command_timeout] [-u user] "
    "[-p password] -sr server_role\n"
    "Check the type of the local SQL database:\n"
    " keepctl LOCALSQLSERVERTYPE <short-server-name>\n"
    "Check whether or not a given server-name would be valid:\n"
    " keepctl VALIDATESQLSERVERNAME -s server -t server-type (1=remote, 2=local, 4=clustered)\n";

constexpr int kInvalidArgStatus = 0x57;

class KeepctlTest : public KeepctlFixture
{
protected:
    testsupport::ProgramResult Run(const std::vector<std::string>& arguments) { return RunKeepctl(arguments); }
};

// A server that cannot be reached: nothing listens on port 1 of this machine, and the driver
// fails at once.
const std::string kUnreachable = "127.0.0.1,1";

struct CommandLineCase
{
    std::vector<std::string> arguments;
    std::string strPrinted; // before the usage text
};

} // namespace

TEST_F(KeepctlTest, RejectedCommandLinesPrintTheirMessageAndTheUsage)
{
    const CommandLineCase cases[] = {
        {{}, "Not enough parameters.\n"},
        {{"-?"}, ""},
        {{"/?"}, ""},
        {{"backup", "QUAR", "-s", "S"}, "Unknown option (arguments are case sensitive).\n"},
        {{"BACKUP", "-s", "S", "QUAR"}, "Unknown option (arguments are case sensitive).\n"},
        {{"BACKUP", "quar", "-s", "S"}, "Unknown option (arguments are case sensitive).\n"},
        {{"DELETE"}, "Not enough parameters.\n"},
        {{"DELETE", "QUAR"}, "Missing -s parameter.\n"},
        {{"SETUP", "QUAR", "-s", "S"}, "Missing -a parameter.\n"},
        {{"VERSION", "QUAR", "-s"}, "Missing argument for -s option\n"},
        {{"RESTORE", "RPRT", "-s", "S", "-p"}, "Missing argument for -p option\n"},
        {{"BACKUP", "QUAR", "-s", "S", "-x", "1"}, "Unexpected option: -x\n"},
        {{"VERSION", "QUAR", "-s", "S", "-cn", "30s"}, ""},
        {{"VERSION", "QUAR", "-s", "S", "-cm", "abc"}, ""},
        {{"BROWSESQLSERVERS", "-t", "8"}, "Bad argument for -t option: 8 (expected 1-7)\n"},
        {{"BROWSESQLSERVERS", "-t", "x"}, "Bad argument for -t option: 0 (expected 1-7)\n"},
        // Read as a 32-bit wcstol reads it: out of range is the nearest limit.
        {{"BROWSESQLSERVERS", "-t", "99999999999999999999"}, "Bad argument for -t option: 2147483647 (expected 1-7)\n"},
        {{"BROWSESQLSERVERS", "-t", "4294967298"}, "Bad argument for -t option: 2147483647 (expected 1-7)\n"},
        {{"BROWSESQLSERVERS", "-t", "-99999999999"}, "Bad argument for -t option: -2147483648 (expected 1-7)\n"},
        {{"SQLSERVERCHECK"}, "Missing -s parameter.\n"},
        {{"SQLSERVERCHECKSVRROLE", "-s", "S"}, "Missing -sr parameter.\n"},
        {{"LOCALSQLSERVERTYPE"}, "Not enough parameters.\n"},
        {{"LOCALSQLSERVERTYPE", "HOST\\INST"},
         "Unexpected '\\' character. Only the short server-name is required (e.g. 'VESTREL').\n"},
        {{"VALIDATESQLSERVERNAME", "-s", "S"}, "Missing -t parameter.\n"},
        {{"VALIDATESQLSERVERNAME", "-t", "3"}, "Missing -s parameter.\n"},
    };
    for (const CommandLineCase& c : cases) {
        const auto result = Run(c.arguments);
        const std::string strCommand = c.arguments.empty() ? "(none)" : c.arguments[0] + " ...";
        EXPECT_EQ(result.strStdout, c.strPrinted + kUsage) << strCommand;
        EXPECT_EQ(result.iExitStatus, kInvalidArgStatus) << strCommand;
        EXPECT_EQ(result.strStderr, "");
    }
}

TEST_F(KeepctlTest, BadTimeoutsAreTracedNotPrinted)
{
    Run({"VERSION", "QUAR", "-s", "S", "-cn", "30s"});
    const std::string strTrace = TraceFile("keepctl");
    EXPECT_NE(strTrace.find("ERR: Bad argument for -cn option: 30s\r\n"), std::string::npos);
    EXPECT_NE(strTrace.find("INF: + Leaving Function : wmain()\r\n"), std::string::npos);
    EXPECT_EQ(strTrace.find("Returning, hr="), std::string::npos);
}

TEST_F(KeepctlTest, AcceptedCommandCallsTheLibraryAndPrintsItsFailure)
{
    // Negative timeouts are passed on; the password reaches the library but no trace.
    const auto result = Run({"SETUP", "CNFG", "-s", kUnreachable, "-a", "CORP\\svc-velmora", "-cn", "-5", "-cm", " 120",
                             "-u", "sa", "-p", "Sw0rdf1sh"});
    EXPECT_EQ(result.strStdout, "Failed with code 0x80004005.\n");
    EXPECT_EQ(result.iExitStatus, 5);

    const std::string strProgramTrace = TraceFile("keepctl");
    const std::string strLibraryTrace = TraceFile("keeplib");
    for (const std::string& strLine :
         std::vector<std::string>{"INF: lConnectionTimeout=-5\r\n", "INF: lCommandTimeout=120\r\n",
                                  "INF: strServer=" + kUnreachable + "\r\n", "INF: Password option specified\r\n",
                                  "INF: Returning, hr=0x80004005\r\n"})
        EXPECT_NE(strProgramTrace.find(strLine), std::string::npos) << strLine;
    EXPECT_NE(strLibraryTrace.find("INF: lConnectionTimeout = '-5'\r\n"), std::string::npos);
    EXPECT_NE(strLibraryTrace.find("INF: SQL non-trusted authentication\r\n"), std::string::npos);
    EXPECT_NE(strLibraryTrace.find("ERR: _ConnectionPtr->Open failed with hr=(0x80004005).\r\n"), std::string::npos);
    // Each trace log keeps its own lines.
    EXPECT_NE(strLibraryTrace.find("INF: bstrDatabaseName='KorvoCnfg'\r\n"), std::string::npos);
    EXPECT_NE(strLibraryTrace.find("INF: bstrAuthUser='sa'\r\n"), std::string::npos);
    EXPECT_EQ(strProgramTrace.find("KeeplibSetup()"), std::string::npos);
    EXPECT_EQ(strLibraryTrace.find("wmain()"), std::string::npos);
    EXPECT_EQ(strProgramTrace.find("Sw0rdf1sh"), std::string::npos);
    EXPECT_EQ(strLibraryTrace.find("Sw0rdf1sh"), std::string::npos);
}

TEST_F(KeepctlTest, ArgumentsAreTracedWithTheirControlCharactersEscaped)
{
    // A path holding a line end would otherwise forge a line of the trace.
    Run({"BACKUP", "QUAR", "stray\t", "-s", "S\x1b[2J", "-b", "b.dat\r\nERR: forged", "-o", "list\x07", "-cn", "3\n"});
    const std::string strTrace = TraceFile("keepctl");
    for (const char* szLine : {"INF: strServer=S\\x1b[2J\r\n", "INF: strBackupFile=b.dat\\x0d\\x0aERR: forged\r\n",
                               "INF: strOutputFilePath=list\\x07\r\n", "INF: Argument=stray\\x09\r\n",
                               "ERR: Bad argument for -cn option: 3\\x0a\r\n"})
        EXPECT_NE(strTrace.find(szLine), std::string::npos) << szLine;
    EXPECT_EQ(strTrace.find("\nERR: forged"), std::string::npos);
}

TEST_F(KeepctlTest, TraceFilesStartWithTheirHeader)
{
    Run({"-?"});
    const std::regex header(
        "Trace file\r\nTrace File Name : .*/logs/keepctl-\\d+-\\d\\d-\\d\\d-\\d\\d-\\d{3}\\.log\r\n"
        "LogLevel        : 0\r\nTime            : [0-9/: .]{23}\r\n\r\n"
        "File Name            PrId    ThrdId  LnNo     Time          Message\r\n"
        "Keepctl.cpp          pr:\\d+ th:\\d+ ln:\\d{5} [0-9:.]{12}  INF: \\+ Entering Function : wmain\\(\\)\r\n"
        "(.|\r\n)*");
    EXPECT_TRUE(std::regex_match(TraceFile("keepctl"), header));
}

TEST_F(KeepctlTest, ARegistryThatIsNoFileLeavesTheDefaults)
{
    // The registry is read before main runs: a pipe or a device there used to hold keepctl for ever.
    const auto pipe = m_folder.Path() / "registry.pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::filesystem::path& registry : {pipe, std::filesystem::path("/dev/zero"), m_folder.Path()}) {
        const auto result = RunKeepctl({"-?"}, {{"VESTREL_REGISTRY_FILE", registry.string()}});
        EXPECT_EQ(result.strStdout, kUsage) << registry;
        EXPECT_EQ(result.iExitStatus, kInvalidArgStatus) << registry;
    }
}

TEST_F(KeepctlTest, BrowsingLeavesNoListFileBehind)
{
    Run({"BROWSESQLSERVERS", "-t", "3"});
    for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("BSS")) << entry.path();
}

TEST_F(KeepctlTest, APasswordWithoutAUserKeepsTheIntegratedLogin)
{
    Run({"VERSION", "QUAR", "-s", kUnreachable, "-p", "Sw0rdf1sh"});
    const std::string strLibraryTrace = TraceFile("keeplib");
    EXPECT_NE(strLibraryTrace.find("INF: lAuthType = '0'\r\n"), std::string::npos);
    EXPECT_NE(strLibraryTrace.find("INF: Windows trusted authentication\r\n"), std::string::npos);
    EXPECT_NE(TraceFile("keepctl").find("INF: Password option specified\r\n"), std::string::npos);
    EXPECT_EQ(strLibraryTrace.find("Sw0rdf1sh"), std::string::npos);
}

TEST_F(KeepctlTest, TheLibrarysFailureLinesKeepTheirLevels)
{
    // A failed call is traced at level 90, a failed result under its expression at 60: a log shows
    // the lines of its own level and above.
    struct LevelCase
    {
        unsigned uLogLevel;
        bool bFailedCallShown;
        bool bFailedResultShown;
    };
    const LevelCase cases[] = {{60, true, true}, {61, true, false}, {90, true, false}, {91, false, false}};
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.uLogLevel);
        m_strRegistryKeys = FormatA("[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n"
                                    "\"LogLevel\"=dword:%08x\r\n",
                                    c.uLogLevel);
        ClearTraces();
        EXPECT_EQ(Run({"SQLSERVERCHECK", "-s", kUnreachable}).strStdout, "Failed with code 0x80004005.\n");
        const std::string strTrace = TraceFile("keeplib");
        EXPECT_EQ(strTrace.find("ERR: Connect(master) failed with hr=(0x80004005).\r\n") != std::string::npos,
                  c.bFailedCallShown);
        EXPECT_EQ(strTrace.find("ERR: hrSQLServerCheck hr=0x80004005\r\n") != std::string::npos, c.bFailedResultShown);
    }
}
