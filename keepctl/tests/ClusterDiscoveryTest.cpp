// keepctl's discovery commands on node1 of a Pacemaker cluster that Pacemaker's own tools read
// from a CIB file: the cluster's SQL Server instances beside this computer's and the network's,
// which server names are clustered, and what a CIB that cannot be read does. Browses of the
// network ask SQL Server Browsers on 127.0.0.1 only.

#include "HeldAsker.h"
#include "ThisComputer.h"
#include "testsupport/CibFiles.h"
#include "testsupport/RunProgram.h"
#include "tools/browseresponder/ResolutionResponder.h"

#include <gtest/gtest.h>

namespace {

using testsupport::CibGroup;
using testsupport::CibPrimitive;

// Two instances in their groups, one with its address; an availability group, which is no
// failover instance; the product's clustered service.
const testsupport::CibCluster kCluster{
    "vcluster",
    {"node1", "node2"},
    CibGroup("rg-sales", {CibPrimitive("SQLSALES", "ocf:mssql:fci"),
                          CibPrimitive("SQLSALES-ip", "ocf:heartbeat:IPaddr2", {{"ip", "192.0.2.10"}})}) +
        CibGroup("rg-hr", {CibPrimitive("SQLHR", "ocf:mssql:fci")}) + "<clone id=\"ag-clone\">" +
        CibPrimitive("ag1", "ocf:mssql:ag", {{"ag_name", "ag1"}}) + "</clone>" +
        CibPrimitive("velmora-svc", "ocf:vestrel:velmora", {{"NetworkName", "VELMORANET"}})};

class ClusterDiscoveryTest : public ::testing::Test
{
protected:
    std::filesystem::path Cib(const std::string& strName, const testsupport::CibCluster& cluster) const
    {
        const auto path = m_folder.Write(strName, testsupport::CibDocument(cluster));
        EXPECT_EQ(testsupport::CrmVerify(path), "");
        return path;
    }

    // keepctl as node1 of the cluster of that CIB, with the library's trace in keeplib-*.log and
    // the longest browse wait; the asker, when there is one, learns its id as soon as it runs.
    testsupport::ProgramResult Run(const std::vector<std::string>& arguments, const std::filesystem::path& cib,
                                   const std::string& strRegistry = "",
                                   const std::string& strBrowseTargets = "127.0.0.1:9", CAsker* pAsker = nullptr) const
    {
        const auto registry = m_folder.Write(
            "registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n\"TraceFileName\"=\"" +
                                (m_folder.Path() / "keeplib").string() + "\"\r\n\"OutputToDebugger\"=dword:0\r\n" +
                                kLongestBrowseWait + strRegistry);
        std::map<std::string, std::string> environment = testsupport::CibEnvironment(cib, "node1");
        environment.insert({{"VESTREL_REGISTRY_FILE", registry.string()},
                            {"TMPDIR", m_folder.Path().string()},
                            {"VESTREL_BROWSE_TARGETS", strBrowseTargets}});
        testsupport::CRunningProgram keepctl(KEEPCTL_PATH, arguments, environment);
        if (pAsker)
            pAsker->Started(keepctl.Pid());
        return keepctl.Wait();
    }

    // What the library traced in every run so far.
    std::string Traced() const
    {
        std::string strTrace;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
            if (entry.path().filename().string().starts_with("keeplib-"))
                strTrace += testsupport::ReadFile(entry.path());
        }
        return strTrace;
    }

    testsupport::ScratchFolder m_folder;
    const std::string m_strHost = ComputerName();
};

TEST_F(ClusterDiscoveryTest, TheClusterListsItsFailoverInstances)
{
    const auto cib = Cib("cluster.xml", kCluster);
    const auto output = m_folder.Path() / "servers.txt";
    const auto result = Run({"BROWSESQLSERVERS", "-t", "4", "-o", output.string()}, cib);
    EXPECT_EQ(result.strStdout, "[local cluster]\nSQLHR\nSQLSALES\n");
    EXPECT_EQ(result.strStderr, "");
    EXPECT_EQ(result.iExitStatus, 0);
    EXPECT_EQ(testsupport::ReadFile(output), "SQLHR\nSQLSALES\n");
    EXPECT_NE(Traced().find("Adding default instance: SQLSALES"), std::string::npos);
}

TEST_F(ClusterDiscoveryTest, EveryKindLeavesTheClustersOwnOutOfTheOthers)
{
    // This computer's own instance and a clustered one; the network answers for the cluster's
    // instances and nodes too, and for this computer.
    const std::string strRegistry = std::string(kSqlServer) + "\\MSSQL.1]\r\n@=\"OWN\"\r\n" + kSqlServer +
                                    "\\MSSQL.1\\MSSQLServer\\CurrentVersion]\r\n" + kSqlServer +
                                    "\\MSSQL.2]\r\n@=\"MSSQLSERVER\"\r\n" + kSqlServer +
                                    "\\MSSQL.2\\MSSQLServer\\CurrentVersion]\r\n" + kSqlServer +
                                    "\\MSSQL.2\\Cluster]\r\n\"ClusterName\"=\"SQLSALES\"\r\n";
    CAsker asker;
    const tools::CResolutionResponder network(
        tools::AnswersForServers(
            {"SQLSALES", "sqlhr\\REPORTS", "NODE2\\INST", "node1", m_strHost + "\\OWN", "VELMORANET", "REMOTE\\X"}),
        HoldingTheAsker(asker));
    const auto result =
        Run({"BROWSESQLSERVERS", "-t", "7"}, Cib("cluster.xml", kCluster), strRegistry, network.Target(), &asker);
    EXPECT_EQ(result.strStdout,
              "[local computer]\n" + m_strHost +
                  "\\OWN\n[local cluster]\nSQLHR\nSQLSALES\n[remote servers]\nREMOTE\\X\nVELMORANET\n");
    EXPECT_EQ(result.iExitStatus, 0);
}

TEST_F(ClusterDiscoveryTest, ServerNamesOfTheCluster)
{
    struct Case
    {
        std::string strServer;
        std::string strType;
        bool bAccepted;
    };
    const Case cases[] = {
        {"SQLSALES", "4", true},
        {"sqlsales\\INST", "4", true},
        {"SQLHR;SQLSALES", "4", true},
        {"SQLSALES", "1", false},
        {"SQLSALES", "2", false},
        {"SQLSALES", "7", true},
        // A node's name, the product's network name, an address's resource and the cluster's own
        // name are no network names of the cluster: they count as remote.
        {"node2", "4", false},
        {"node2", "1", true},
        {"VELMORANET", "4", false},
        {"SQLSALES-ip", "4", false},
        {"vcluster", "4", false},
        {"vcluster", "1", true},
    };
    const auto cib = Cib("cluster.xml", kCluster);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strServer + " -t " + c.strType);
        const auto result = Run({"VALIDATESQLSERVERNAME", "-s", c.strServer, "-t", c.strType}, cib);
        EXPECT_EQ(result.strStdout, c.bAccepted ? "VALIDATESQLSERVERNAME done!\n" : "Failed with code 0x80070057.\n");
        EXPECT_EQ(result.iExitStatus, c.bAccepted ? 0 : 87);
    }
}

TEST_F(ClusterDiscoveryTest, AComputerThatIsNoNodeHasNoClusterNames)
{
    testsupport::CibCluster other = kCluster;
    other.nodes = {"node2", "node3"};
    const auto cib = Cib("other.xml", other);
    EXPECT_EQ(Run({"BROWSESQLSERVERS", "-t", "4"}, cib).strStdout, "[local cluster]\n");
    EXPECT_EQ(Run({"VALIDATESQLSERVERNAME", "-s", "SQLSALES", "-t", "4"}, cib).strStdout,
              "Failed with code 0x80070057.\n");
    EXPECT_EQ(Run({"VALIDATESQLSERVERNAME", "-s", "SQLSALES", "-t", "1"}, cib).strStdout,
              "VALIDATESQLSERVERNAME done!\n");
}

TEST_F(ClusterDiscoveryTest, TheLocalTypeOfAClusteredInstanceIsTheRegistrys)
{
    const std::string strRegistry = std::string(kSqlServer) + "\\MSSQLSERVER\\MSSQLServer\\CurrentVersion]\r\n" +
                                    kSqlServer + "\\MSSQLSERVER\\Cluster]\r\n\"ClusterName\"=\"SQLSALES\"\r\n";
    for (const char* szCib : {"cluster.xml", "missing.xml"}) {
        SCOPED_TRACE(szCib);
        const auto cib = std::string(szCib) == "cluster.xml" ? Cib(szCib, kCluster) : m_folder.Path() / szCib;
        const auto result = Run({"LOCALSQLSERVERTYPE", "MSSQLSERVER"}, cib, strRegistry);
        EXPECT_EQ(result.strStdout, "LOCALSQLSERVERTYPE is 4.\n");
        EXPECT_EQ(result.iExitStatus, 4);
    }
}

TEST_F(ClusterDiscoveryTest, ACibThatCannotBeReadFailsWhatAsksTheCluster)
{
    const auto cib = m_folder.Write("empty.xml", "");
    const auto browse = Run({"BROWSESQLSERVERS", "-t", "6"}, cib);
    EXPECT_EQ(browse.strStdout, "[local computer]\nFailed with code 0x8007000d.\n");
    EXPECT_EQ(browse.strStderr, "");
    EXPECT_EQ(browse.iExitStatus, 13);
    EXPECT_NE(Traced().find("ERR: ISCluster->get_ResourceGroups failed with hr=(0x8007000d)."), std::string::npos);

    const auto validate = Run({"VALIDATESQLSERVERNAME", "-s", "(local)", "-t", "2"}, cib);
    EXPECT_EQ(validate.strStdout, "Failed with code 0x8007000d.\n");
    EXPECT_NE(Traced().find("ERR: CLocalComputerNames.Init failed with hr=(0x8007000d)."), std::string::npos);
    // Accepting every kind asks nothing.
    EXPECT_EQ(Run({"VALIDATESQLSERVERNAME", "-s", "(local)", "-t", "7"}, cib).strStdout,
              "VALIDATESQLSERVERNAME done!\n");
}

} // namespace
