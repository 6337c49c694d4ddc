// keepctl as its users run it: the bytes it prints, its exit status and its trace files.

#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <regex>

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

class KeepctlTest : public ::testing::Test
{
protected:
    // Runs keepctl with both trace logs written to files in the scratch folder.
    testsupport::ProgramResult Run(const std::vector<std::string>& arguments)
    {
        const std::string strLogs = (m_folder.Path() / "logs").string();
        const auto registry = m_folder.Write(
            "registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keepctl]\r\n"
                            "\"TraceFileName\"=\"" + strLogs + "/keepctl\"\r\n\"OutputToDebugger\"=dword:0\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n"
                            "\"TraceFileName\"=\"" + strLogs + "/keeplib\"\r\n\"OutputToDebugger\"=dword:0\r\n");
        return testsupport::RunProgram(KEEPCTL_PATH, arguments,
                                       {{"VESTREL_REGISTRY_FILE", registry.string()}, {"TMPDIR", m_folder.Path().string()}});
    }

    // The text of the one trace file whose name starts with the prefix.
    std::string TraceFile(const std::string& strPrefix) const
    {
        std::string strText;
        int nFiles = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path() / "logs")) {
            if (entry.path().filename().string().starts_with(strPrefix + "-")) {
                strText = testsupport::ReadFile(entry.path());
                ++nFiles;
            }
        }
        EXPECT_EQ(nFiles, 1) << strPrefix;
        return strText;
    }

    testsupport::ScratchFolder m_folder;
};

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
    const auto result = Run({"SETUP", "CNFG", "-s", "SQL01\\VELMORA", "-a", "CORP\\svc-velmora", "-cn", "-5",
                             "-cm", " 120", "-u", "sa", "-p", "Sw0rdf1sh"});
    EXPECT_EQ(result.strStdout, "Failed with code 0x80004001.\n");
    EXPECT_EQ(result.iExitStatus, 255);

    const std::string strProgramTrace = TraceFile("keepctl");
    const std::string strLibraryTrace = TraceFile("keeplib");
    for (const char* szLine : {"INF: lConnectionTimeout=-5\r\n", "INF: lCommandTimeout=120\r\n",
                               "INF: strServer=SQL01\\VELMORA\r\n", "INF: Password option specified\r\n",
                               "INF: Returning, hr=0x80004001\r\n"})
        EXPECT_NE(strProgramTrace.find(szLine), std::string::npos) << szLine;
    // Each trace log keeps its own lines.
    EXPECT_NE(strLibraryTrace.find("INF: bstrDatabaseName='KorvoCnfg'\r\n"), std::string::npos);
    EXPECT_NE(strLibraryTrace.find("INF: bstrAuthUser='sa'\r\n"), std::string::npos);
    EXPECT_EQ(strProgramTrace.find("KeeplibSetup()"), std::string::npos);
    EXPECT_EQ(strLibraryTrace.find("wmain()"), std::string::npos);
    EXPECT_EQ(strProgramTrace.find("Sw0rdf1sh"), std::string::npos);
    EXPECT_EQ(strLibraryTrace.find("Sw0rdf1sh"), std::string::npos);
}

TEST_F(KeepctlTest, TraceFilesStartWithTheirHeader)
{
    Run({"-?"});
    const std::regex header("Trace file\r\nTrace File Name : .*/logs/keepctl-\\d+-\\d\\d-\\d\\d-\\d\\d-\\d{3}\\.log\r\n"
                            "LogLevel        : 0\r\nTime            : [0-9/: .]{23}\r\n\r\n"
                            "File Name            PrId    ThrdId  LnNo     Time          Message\r\n"
                            "Keepctl.cpp          pr:\\d+ th:\\d+ ln:\\d{5} [0-9:.]{12}  INF: \\+ Entering Function : wmain\\(\\)\r\n"
                            "(.|\r\n)*");
    EXPECT_TRUE(std::regex_match(TraceFile("keepctl"), header));
}
