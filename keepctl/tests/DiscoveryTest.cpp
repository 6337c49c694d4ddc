// keepctl's discovery commands as an installer runs them on this machine, which is in no domain
// and no cluster: the installations a registry file describes, SQL Server Browsers on
// 127.0.0.1, and the names this computer answers to.

#include "ThisComputer.h"
#include "testsupport/RunProgram.h"
#include "tools/browseresponder/ResolutionResponder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include <sys/stat.h>

namespace {

std::string Lower(std::string strText)
{
    for (char& c : strText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strText;
}

// A subkey of the SQL Server key that looks like an instance.
std::string InstanceKey(const std::string& strSubkey, const std::string& strBody = "")
{
    return std::string(kSqlServer) + "\\" + strSubkey + "]\r\n" + strBody + kSqlServer + "\\" + strSubkey +
           "\\MSSQLServer\\CurrentVersion]\r\n";
}

class DiscoveryTest : public ::testing::Test
{
protected:
    testsupport::ProgramResult Run(const std::vector<std::string>& arguments, const std::string& strRegistry,
                                   const std::string& strBrowseTargets = "127.0.0.1:9")
    {
        const auto registry =
            m_folder.Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + strRegistry);
        return testsupport::RunProgram(KEEPCTL_PATH, arguments,
                                       {{"VESTREL_REGISTRY_FILE", registry.string()},
                                        {"TMPDIR", m_folder.Path().string()},
                                        {"VESTREL_BROWSE_TARGETS", strBrowseTargets}});
    }

    testsupport::ScratchFolder m_folder;
    const std::string m_strHost = ComputerName();
};

} // namespace

TEST_F(DiscoveryTest, LocalTypeIsWhatTheInstanceKeysSay)
{
    const std::string strRegistry = InstanceKey("INST1") + InstanceKey("CLUSTERED") + kSqlServer +
                                    "\\CLUSTERED\\Cluster]\r\n\"ClusterName\"=\"VSQL\"\r\n" + kSqlServer +
                                    "\\HALF]\r\n";
    const std::pair<std::string, int> cases[] = {
        {"INST1", 2}, {"inst1", 2}, {"CLUSTERED", 4}, {"HALF", 0}, {"NONE", 0}};
    for (const auto& [strName, iType] : cases) {
        const auto result = Run({"LOCALSQLSERVERTYPE", strName}, strRegistry);
        EXPECT_EQ(result.strStdout, "LOCALSQLSERVERTYPE is " + std::to_string(iType) + ".\n") << strName;
        EXPECT_EQ(result.iExitStatus, iType) << strName;
    }
}

TEST_F(DiscoveryTest, LocalTypeFailsWhenTheRegistryCannotBeRead)
{
    // Nothing is known of the installations then: no instance is said to be installed, or clustered.
    const auto result = testsupport::RunProgram(KEEPCTL_PATH, {"LOCALSQLSERVERTYPE", "INST1"},
                                                {{"VESTREL_REGISTRY_FILE", m_folder.Path().string()},
                                                 {"TMPDIR", m_folder.Path().string()},
                                                 {"VESTREL_BROWSE_TARGETS", "127.0.0.1:9"}});
    EXPECT_EQ(result.strStdout, "Failed with code 0x80004005.\n");
    EXPECT_EQ(result.iExitStatus, 5);
}

TEST_F(DiscoveryTest, LocalListFollowsTheInstallationsOfTheRegistry)
{
    struct Case
    {
        const char* szName;
        std::string strRegistry;
        std::string strList; // with %H for this computer's name
    };
    const std::string strOlderDefault =
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MSSQLServer\\MSSQLServer\\CurrentVersion]\r\n"
        "\"CurrentVersion\"=\"8.00.194\"\r\n";
    const std::string strInstanceNames = std::string(kSqlServer) + "\\Instance Names\\SQL]\r\n";
    const Case cases[] = {
        {"nothing installed", "", ""},
        {"an older installation's default instance only", strOlderDefault, "%H\n"},
        {"an older default instance that a newer installation lists itself",
         strOlderDefault + strInstanceNames + "\"MSSQLSERVER\"=\"MSSQL.1\"\r\n", ""},
        {"a clustered older installation",
         strOlderDefault +
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MSSQLServer\\Cluster]\r\n\"ClusterName\"=\"VSQL\"\r\n",
         ""},
        {"instance keys with their real names",
         InstanceKey("MSSQL.1", "@=\"SQLEXPRESS\"\r\n") + InstanceKey("MSSQL.2", "@=\"mssqlserver\"\r\n"),
         "%H\n%H\\SQLEXPRESS\n"},
        {"an instance key without a real name", InstanceKey("Payroll"), "%H\\Payroll\n"},
        {"keys that are never instances", InstanceKey("Services") + InstanceKey("90") + InstanceKey("SqlWriter"), ""},
        {"an excluded instance name", InstanceKey("MSSQL.3", "@=\"officeservers\"\r\n"), ""},
        {"a clustered instance",
         InstanceKey("MSSQL.4", "@=\"INST\"\r\n") + kSqlServer + "\\MSSQL.4\\Cluster]\r\n\"ClusterName\"=\"VSQL\"\r\n",
         ""},
        {"a cluster key without its name",
         InstanceKey("MSSQL.4", "@=\"INST\"\r\n") + kSqlServer + "\\MSSQL.4\\Cluster]\r\n", "%H\\INST\n"},
        {"an instance that the instance names list",
         InstanceKey("MSSQL.5") + strInstanceNames + "\"MSSQL.5\"=\"MSSQL.5\"\r\n", ""},
        {"analysis services, and lower-case letters that are no prefix",
         InstanceKey("MSAS.1", "@=\"ASI\"\r\n") + kSqlServer +
             "\\MSAS.1\\CPE]\r\n\"CollectorParameters\"=\"AS x\"\r\n" + InstanceKey("MSAS.2", "@=\"ASJ\"\r\n") +
             kSqlServer + "\\MSAS.2\\CPE]\r\n\"CollectorParameters\"=\"as x\"\r\n" +
             InstanceKey("MSRS.1", "@=\"RSI\"\r\n") + kSqlServer +
             "\\MSRS.1\\CPE]\r\n\"CollectorParameters\"=\"RS x\"\r\n" + InstanceKey("OLAP.1", "@=\"OLI\"\r\n") +
             kSqlServer + "\\OLAP.1\\CPE]\r\n\"CollectorParameters\"=\"OLAP x\"\r\n",
         "%H\\ASJ\n"},
        {"a default value that is no string", InstanceKey("MSSQL.6", "@=dword:00000001\r\n"), "%H\\MSSQL.6\n"},
        {"a half-written key", std::string(kSqlServer) + "\\MSSQL.7]\r\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        std::string strExpected = c.strList;
        for (auto at = strExpected.find("%H"); at != std::string::npos; at = strExpected.find("%H"))
            strExpected.replace(at, 2, m_strHost);
        const auto result = Run({"BROWSESQLSERVERS", "-t", "2"}, c.strRegistry);
        EXPECT_EQ(result.strStdout, "[local computer]\n" + strExpected);
        EXPECT_EQ(result.iExitStatus, 0);
    }
}

TEST_F(DiscoveryTest, RemoteListHasEachServerOnceSortedWithoutThisComputersOwn)
{
    const tools::CResolutionResponder network(tools::AnswersForServers(
        {"SQL02", "SQL01\\SALES", "sql01", m_strHost + "\\LOCAL", "SQL01\\SALES", "Alpha", "SQL02", "SQL01"}));
    const auto output = m_folder.Path() / "servers.txt";
    const auto result = Run({"BROWSESQLSERVERS", "-t", "3", "-o", output.string()}, "", network.Target());
    EXPECT_EQ(result.strStdout, "[local computer]\n[remote servers]\nAlpha\nSQL01\nSQL01\\SALES\nSQL02\nsql01\n");
    EXPECT_EQ(result.iExitStatus, 0);
    // The file holds the last kind listed.
    EXPECT_EQ(testsupport::ReadFile(output), "Alpha\nSQL01\nSQL01\\SALES\nSQL02\nsql01\n");
}

TEST_F(DiscoveryTest, ANameLeftOutOfALongListIsTraced)
{
    // A list longer than the first buffer is read again, from the driver's cache: the note of the
    // name it left out must come with that answer too.
    std::vector<std::string> servers;
    std::size_t cchList = 0;
    for (int i = 0; i < 150; ++i) {
        servers.push_back("DATABASEHOST" + std::to_string(i) + "\\INSTANCE");
        cchList += servers.back().size() + 1;
    }
    ASSERT_GT(cchList, 3000u) << "no longer than the first buffer";
    servers.push_back("EVIL\\A,B");
    const tools::CResolutionResponder network(tools::AnswersForServers(servers));
    const std::string strTrace = (m_folder.Path() / "keeplib").string();
    const auto result = Run({"BROWSESQLSERVERS", "-t", "1"},
                            "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n\"TraceFileName\"=\"" +
                                strTrace + "\"\r\n\"OutputToDebugger\"=dword:0\r\n",
                            network.Target());
    EXPECT_EQ(std::count(result.strStdout.begin(), result.strStdout.end(), '\n'), 151);
    EXPECT_EQ(result.strStdout.find("EVIL"), std::string::npos);
    std::string strLog;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
        if (entry.path().filename().string().starts_with("keeplib-"))
            strLog += testsupport::ReadFile(entry.path());
    }
    EXPECT_NE(strLog.find("STATE=01000"), std::string::npos);
    EXPECT_NE(strLog.find("EVIL\\A,B"), std::string::npos) << strLog.substr(0, 2000);
}

TEST_F(DiscoveryTest, EveryKindOnAComputerOutsideDomainsAndClusters)
{
    const tools::CResolutionResponder network(tools::AnswersForServers({"REMOTE\\X"}));
    const auto result = Run({"BROWSESQLSERVERS"}, InstanceKey("MSSQL.1", "@=\"SALES\"\r\n"), network.Target());
    EXPECT_EQ(result.strStdout,
              "[local computer]\n" + m_strHost + "\\SALES\n[local cluster]\n[remote servers]\nREMOTE\\X\n");
    EXPECT_EQ(result.iExitStatus, 0);
}

TEST_F(DiscoveryTest, NamesAreValidatedAgainstThisComputer)
{
    struct Case
    {
        std::string strServer;
        std::string strType;
        bool bAccepted;
    };
    const Case cases[] = {
        {"(local)", "2", true},
        {"(LOCAL)\\INST", "2", true},
        {m_strHost, "2", true},
        {m_strHost + "\\X", "2", true},
        {Lower(m_strHost), "2", true},
        {m_strHost, "1", false},
        {"OTHER", "1", true},
        {"OTHER", "2", false},
        {"OTHER;" + m_strHost, "3", true},
        {"OTHER;" + m_strHost, "1", false},
        {"VSQL", "4", false},
        {"anything at all", "7", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strServer + " -t " + c.strType);
        const auto result = Run({"VALIDATESQLSERVERNAME", "-s", c.strServer, "-t", c.strType}, "");
        EXPECT_EQ(result.strStdout, c.bAccepted ? "VALIDATESQLSERVERNAME done!\n" : "Failed with code 0x80070057.\n");
        EXPECT_EQ(result.iExitStatus, c.bAccepted ? 0 : 87);
    }
}

TEST_F(DiscoveryTest, AListFileIsNeverWrittenThroughALinkOrIntoAPipe)
{
    const auto target = m_folder.Write("precious.txt", "keep me\n");
    std::filesystem::create_symlink(target, m_folder.Path() / "link.txt");
    ASSERT_EQ(::mkfifo((m_folder.Path() / "pipe.txt").c_str(), 0600), 0);
    for (const char* szName : {"link.txt", "pipe.txt"}) {
        const auto result =
            Run({"BROWSESQLSERVERS", "-t", "2", "-o", (m_folder.Path() / szName).string()}, InstanceKey("MSSQL.1"));
        EXPECT_EQ(result.strStdout, "Failed with code 0x80004005.\n") << szName;
        EXPECT_EQ(result.iExitStatus, 5) << szName;
    }
    EXPECT_EQ(testsupport::ReadFile(target), "keep me\n");
}
