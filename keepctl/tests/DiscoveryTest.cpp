// keepctl's discovery commands as an installer runs them on this machine, which is in no domain
// and no cluster: the installations a registry file describes, SQL Server Browsers on
// 127.0.0.1, and the names this computer answers to.

#include "HeldAsker.h"
#include "ThisComputer.h"
#include "testsupport/RunProgram.h"
#include "tools/browseresponder/ResolutionResponder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <thread>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Lower(std::string strText)
{
    for (char& c : strText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strText;
}

// The host name as the system has it.
std::string HostName()
{
    char szHostName[HOST_NAME_MAX + 1] = {};
    EXPECT_EQ(::gethostname(szHostName, sizeof szHostName - 1), 0);
    return szHostName;
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
    // keepctl with the registry given and the longest browse wait; the asker, when there is one,
    // learns its id as soon as it runs.
    testsupport::ProgramResult Run(const std::vector<std::string>& arguments, const std::string& strRegistry,
                                   const std::string& strBrowseTargets = "127.0.0.1:9", CAsker* pAsker = nullptr) const
    {
        return RunWithRegistry(arguments, kLongestBrowseWait + strRegistry, strBrowseTargets, pAsker);
    }

    // The registry keys that write the library's trace to a file of the scratch folder.
    std::string TraceKeys() const
    {
        return "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n\"TraceFileName\"=\"" +
               (m_folder.Path() / "keeplib").string() + "\"\r\n\"OutputToDebugger\"=dword:0\r\n";
    }

    // The library's trace files, one after the other; removed, so that the next run writes its own.
    std::string TakeTrace() const
    {
        std::string strLog;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
            if (entry.path().filename().string().starts_with("keeplib-")) {
                strLog += testsupport::ReadFile(entry.path());
                std::filesystem::remove(entry.path());
            }
        }
        return strLog;
    }

    // keepctl's browse of the remote servers at the target, with the wait given and the library's
    // trace on; the asker learns its id as soon as it runs.
    testsupport::ProgramResult BrowseAskedBy(CAsker& asker, const std::string& strTarget,
                                             std::chrono::milliseconds wait) const
    {
        return RunWithRegistry({"BROWSESQLSERVERS", "-t", "1"},
                               TraceKeys() +
                                   "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Keeplib\\Browse]\r\n\"WaitMilliseconds\"="
                                   "dword:" +
                                   FormatA("%08x", static_cast<unsigned>(wait.count())) + "\r\n",
                               strTarget, &asker);
    }

    testsupport::ScratchFolder m_folder;
    const std::string m_strHost = ComputerName();

private:
    testsupport::ProgramResult RunWithRegistry(const std::vector<std::string>& arguments,
                                               const std::string& strRegistry, const std::string& strBrowseTargets,
                                               CAsker* pAsker) const
    {
        const auto registry =
            m_folder.Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + strRegistry);
        testsupport::CRunningProgram keepctl(KEEPCTL_PATH, arguments,
                                             {{"VESTREL_REGISTRY_FILE", registry.string()},
                                              {"TMPDIR", m_folder.Path().string()},
                                              {"VESTREL_BROWSE_TARGETS", strBrowseTargets}});
        if (pAsker)
            pAsker->Started(keepctl.Pid());
        return keepctl.Wait();
    }
};

std::size_t Count(const std::string& strText, const std::string& strPart)
{
    std::size_t nFound = 0;
    for (auto at = strText.find(strPart); at != std::string::npos; at = strText.find(strPart, at + 1))
        ++nFound;
    return nFound;
}

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
    CAsker asker;
    const tools::CResolutionResponder network(
        tools::AnswersForServers(
            {"SQL02", "SQL01\\SALES", "sql01", m_strHost + "\\LOCAL", "SQL01\\SALES", "Alpha", "SQL02", "SQL01"}),
        HoldingTheAsker(asker));
    const auto output = m_folder.Path() / "servers.txt";
    const auto result = Run({"BROWSESQLSERVERS", "-t", "3", "-o", output.string()}, "", network.Target(), &asker);
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
    CAsker asker;
    const tools::CResolutionResponder network(tools::AnswersForServers(servers), HoldingTheAsker(asker));
    const auto result = Run({"BROWSESQLSERVERS", "-t", "1"}, TraceKeys(), network.Target(), &asker);
    EXPECT_EQ(std::count(result.strStdout.begin(), result.strStdout.end(), '\n'), 151);
    EXPECT_EQ(result.strStdout.find("EVIL"), std::string::npos);
    const std::string strLog = TakeTrace();
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
        {"localhost", "2", true},
        {"localhost", "1", false},
        {".\\SQLEXPRESS", "2", true},
        {"127.0.0.1", "2", true},
        {"[::1]\\X", "2", true},
        {HostName(), "2", true},
        {"localhost.example", "1", true},
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

TEST_F(DiscoveryTest, NamesOfThisComputerAreNoRemoteServers)
{
    const std::string strHostName = HostName();
    const std::string strFirstLabel = Lower(strHostName.substr(0, strHostName.find('.')));
    CAsker asker;
    const tools::CResolutionResponder network(
        tools::AnswersForServers({".", ".\\SQLEXPRESS", "localhost", "LOCALHOST\\X", "127.0.0.1",
                                  "127.0.0.2\\SQLEXPRESS", "::1\\Y", "[::1]", strHostName + "\\Z", strFirstLabel,
                                  "REMOTE", "localhost2", "127.0.0.1.example"}),
        HoldingTheAsker(asker));
    const auto result = Run({"BROWSESQLSERVERS", "-t", "1"}, "", network.Target(), &asker);
    EXPECT_EQ(result.strStdout, "[remote servers]\n127.0.0.1.example\nREMOTE\nlocalhost2\n");
    EXPECT_EQ(result.iExitStatus, 0);
}

TEST_F(DiscoveryTest, AnInstanceNameWithAControlCharacterNeverReachesTheOutput)
{
    // Registry files are written by administrators, and by their tools: a name may hold anything.
    const std::string strRegistry = InstanceKey("MSSQL.1", "@=\"EVIL\x1b]0;owned\x07\"\r\n") + InstanceKey("TAB\tKEY") +
                                    InstanceKey("MSSQL.2", "@=\"GOOD\"\r\n");
    for (const char* szType : {"7", "2"}) {
        const auto result = Run({"BROWSESQLSERVERS", "-t", szType}, TraceKeys() + strRegistry);
        EXPECT_EQ(result.strStdout, std::string(szType[0] == '7' ? "[local computer]\n" + m_strHost +
                                                                       "\\GOOD\n[local cluster]\n[remote servers]\n"
                                                                 : "[local computer]\n" + m_strHost + "\\GOOD\n"))
            << szType;
        EXPECT_EQ(result.iExitStatus, 0);
        const std::string strLog = TakeTrace();
        EXPECT_EQ(strLog.find('\x1b'), std::string::npos);
        EXPECT_NE(strLog.find("Leaving out " + m_strHost +
                              "\\EVIL\\x1b]0;owned\\x07: a server name holds no control "
                              "characters."),
                  std::string::npos);
        EXPECT_NE(strLog.find("Leaving out " + m_strHost + "\\TAB\\x09KEY"), std::string::npos);
    }
}

TEST_F(DiscoveryTest, TheFirstRemoteNamesAreTracedOneByOneAndTheRestCounted)
{
    // However many names strangers send, the trace grows by a bounded number of lines.
    std::vector<std::string> servers;
    for (int i = 0; i < 1000; ++i)
        servers.push_back("SQL" + std::to_string(i));
    servers.insert(servers.end(), {"localhost\\A", "127.0.0.1\\B"});
    std::vector<tools::Datagram> answers;
    for (std::size_t i = 0; i < servers.size(); i += 100)
        answers.push_back(tools::InstancesAnswer(
            std::vector<std::string>(servers.begin() + i, servers.begin() + std::min(i + 100, servers.size()))));
    CAsker asker;
    const tools::CResolutionResponder network(answers, HoldingTheAsker(asker));
    const auto result = Run({"BROWSESQLSERVERS", "-t", "1"}, TraceKeys(), network.Target(), &asker);
    EXPECT_EQ(std::count(result.strStdout.begin(), result.strStdout.end(), '\n'), 1001);
    const std::string strLog = TakeTrace();
    EXPECT_EQ(Count(strLog, "INF: Adding remote instance: SQL"), 100u);
    EXPECT_EQ(Count(strLog, "INF: Adding remote instance: SQL99\r\n"), 1u);
    EXPECT_EQ(Count(strLog, "INF: Not in a domain, allow remote DB"), 100u);
    EXPECT_EQ(Count(strLog, "INF: 902 more remote names were checked without a trace line each: 900 added, 2 of "
                            "this computer or its cluster, 0 refused.\r\n"),
              1u);
}

TEST_F(DiscoveryTest, MoreComputersThanOpenFilesAreAllAsked)
{
    // A hundred computers that refuse, one that answers, and a process that may open 40 files.
    std::string strTargets;
    for (int i = 2; i < 102; ++i)
        strTargets += "127.0.0." + std::to_string(i) + ":9,";
    const tools::CResolutionResponder network(tools::AnswersForServers({"LAST"}));
    const auto result = testsupport::RunProgram(
        "/bin/sh", {"-c", "ulimit -n 40 && exec \"$0\" \"$@\"", KEEPCTL_PATH, "BROWSESQLSERVERS", "-t", "1"},
        {{"VESTREL_REGISTRY_FILE",
          m_folder
              .Write("registry.reg", std::string("Windows Registry Editor Version 5.00\r\n\r\n") + kLongestBrowseWait)
              .string()},
         {"TMPDIR", m_folder.Path().string()},
         {"VESTREL_BROWSE_TARGETS", strTargets + network.Target()}});
    EXPECT_EQ(result.strStdout, "[remote servers]\nLAST\n");
    EXPECT_EQ(result.iExitStatus, 0);
}

TEST_F(DiscoveryTest, AnswersThatArriveWhileTheBrowseCannotReadAreListedOrCountedAsLost)
{
    // keepctl is stopped the moment it has asked, the answers are sent, and then it goes on: what
    // the system's buffer held is listed, the rest traced as lost. 2,000 names in 20 answers fit in
    // the buffer of any system; 2,000 answers of one name each may not; 300 answers of 64 KiB,
    // more than the most a browse asks the system to hold, cannot.
    enum class Fit { All, Maybe, Not };
    struct Case
    {
        int nAnswers;
        int nNamesEach;
        std::size_t cbPadding; // of each instance, in a field the browse does not read
        Fit fit;
    };
    for (const Case& c : {Case{20, 100, 0, Fit::All}, Case{2000, 1, 0, Fit::Maybe}, Case{300, 1, 65000, Fit::Not}}) {
        SCOPED_TRACE(std::to_string(c.nAnswers) + " answers");
        std::vector<tools::Datagram> answers;
        for (int i = 0; i < c.nAnswers; ++i) {
            std::string strText;
            for (int j = 0; j < c.nNamesEach; ++j)
                strText += "ServerName;SERVER" + std::to_string(i * c.nNamesEach + j) +
                           ";InstanceName;INSTANCE;IsClustered;No;Version;16.0.1000.6;tcp;1433;Padding;" +
                           std::string(c.cbPadding, 'x') + ";;";
            answers.push_back(tools::FramedAnswer(strText));
        }
        CAsker asker;
        const tools::CResolutionResponder network(answers, HoldingTheAsker(asker));
        // The wait is a guard only: the browse ends once the computer has answered.
        const auto result = BrowseAskedBy(asker, network.Target(), std::chrono::seconds(60));
        ASSERT_EQ(result.iExitStatus, 0);
        ASSERT_EQ(network.Requests().size(), 1u);
        const auto nListed = std::count(result.strStdout.begin(), result.strStdout.end(), '\n') - 1;
        const std::string strLog = TakeTrace();
        const std::string strLost = "answers were lost: the receive buffer of ";
        const auto lost = strLog.find(strLost);
        if (c.fit == Fit::All || (c.fit == Fit::Maybe && lost == std::string::npos)) {
            EXPECT_EQ(nListed, c.nAnswers * c.nNamesEach);
            EXPECT_EQ(lost, std::string::npos) << strLog.substr(strLog.rfind("ERR=", lost), 200);
            continue;
        }
        ASSERT_NE(lost, std::string::npos);
        const auto numberStart = strLog.rfind("ERR=", lost) + 4;
        const long nLost = std::stol(strLog.substr(numberStart, lost - numberStart));
        EXPECT_GT(nLost, 0);
        EXPECT_EQ(nListed + nLost, c.nAnswers * c.nNamesEach);
    }
}

TEST_F(DiscoveryTest, AnswersUnreadWhenTheWaitIsOverAreNotTaken)
{
    // keepctl waits for answers; the first comes, and keepctl is stopped at once, before or after
    // it read it; the rest come once its wait is over, and then it goes on. However much is waiting
    // then, the browse has ended.
    constexpr std::chrono::milliseconds kWait{100};
    std::vector<tools::Datagram> answers = {tools::InstancesAnswer({"EARLY"})};
    for (int i = 0; i < 100; ++i)
        answers.push_back(tools::InstancesAnswer({"LATE" + std::to_string(i)}));
    CAsker asker;
    tools::ResponderOptions options;
    options.beforeAnswer = [&asker, kWait](std::size_t iAnswer) {
        if (iAnswer == 0) {
            WaitForState(asker.Pid(), 'S');
        } else if (iAnswer == 1) {
            StopAndWait(asker.Pid());
            // keepctl's wait began before it asked, so it is over once as long again has passed.
            std::this_thread::sleep_for(kWait);
        }
    };
    options.afterAnswering = [&asker] { ::kill(asker.Pid(), SIGCONT); };
    const tools::CResolutionResponder network(answers, options);
    const auto result = BrowseAskedBy(asker, network.Target(), kWait);
    EXPECT_EQ(result.strStdout.find("LATE"), std::string::npos) << result.strStdout;
    EXPECT_TRUE(result.strStdout.starts_with("[remote servers]\n"));
    EXPECT_EQ(result.iExitStatus, 0);
}
