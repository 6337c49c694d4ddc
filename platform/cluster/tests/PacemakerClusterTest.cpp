// Pacemaker's cluster through the cluster's interfaces, read by Pacemaker's own cibadmin from CIB
// files the tests write (each one checked with crm_verify first); and what a Pacemaker answers that
// does not run here, whose CIB cannot be read, or that is not installed. Stand-ins of the tools
// play a running cluster's: nothing here starts a daemon.

#include "PacemakerCluster.h"
#include "common/StringUtils.h"
#include "platform/DebugOutput.h"
#include "testsupport/CibFiles.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

namespace {

using namespace platform::cluster;
using platform::Variant;
using testsupport::CibCluster;
using testsupport::CibGroup;
using testsupport::CibPrimitive;

// The properties the tools read, where a resource has them.
constexpr const wchar_t* kReadProperties[] = {L"VirtualServerName", L"InstanceName", L"Name", L"NetworkName"};

std::string Hex(HRESULT hr)
{
    return FormatA("0x%08X", HResultBits(hr));
}

std::string PropertiesOf(ISClusResource& resource)
{
    std::shared_ptr<ISClusProperties> pProperties;
    if (FAILED(resource.get_PrivateProperties(&pProperties)))
        return " (no properties)";
    std::string strText;
    for (const wchar_t* wszName : kReadProperties) {
        std::shared_ptr<ISClusProperty> pProperty;
        Variant value;
        if (SUCCEEDED(pProperties->get_Item(Variant::String(wszName), &pProperty)) &&
            SUCCEEDED(pProperty->get_Value(&value)))
            strText += " " + WideToNarrow(wszName) + "=" + WideToNarrow(value.StringValue());
    }
    return strText;
}

// Each group with its resources, their types and the properties read, then the count of the
// cluster's resources and its nodes; or the first call that failed.
std::string Walked(ISCluster& cluster)
{
    std::shared_ptr<ISClusResGroups> pGroups;
    if (const HRESULT hr = cluster.get_ResourceGroups(&pGroups); FAILED(hr))
        return "groups fail " + Hex(hr);
    std::string strText;
    std::int32_t lGroups = 0;
    pGroups->get_Count(&lGroups);
    for (std::int32_t lGroup = 1; lGroup <= lGroups; ++lGroup) {
        std::shared_ptr<ISClusResGroup> pGroup;
        std::shared_ptr<ISClusResGroupResources> pResources;
        std::int32_t lResources = 0;
        pGroups->get_Item(Variant::Int32(lGroup), &pGroup);
        pGroup->get_Resources(&pResources);
        pResources->get_Count(&lResources);
        strText += "group\n";
        for (std::int32_t lResource = 1; lResource <= lResources; ++lResource) {
            std::shared_ptr<ISClusResource> pResource;
            std::wstring strName;
            std::wstring strType;
            pResources->get_Item(Variant::Int32(lResource), &pResource);
            pResource->get_Name(&strName);
            pResource->get_TypeName(&strType);
            strText +=
                "  " + WideToNarrow(strName) + " [" + WideToNarrow(strType) + "]" + PropertiesOf(*pResource) + "\n";
        }
    }
    std::shared_ptr<ISClusResources> pAll;
    std::int32_t lAll = 0;
    if (const HRESULT hr = cluster.get_Resources(&pAll); FAILED(hr))
        return strText + "resources fail " + Hex(hr);
    pAll->get_Count(&lAll);
    strText += "resources " + std::to_string(lAll) + "\nnodes";
    std::shared_ptr<ISClusNodes> pNodes;
    if (const HRESULT hr = cluster.get_Nodes(&pNodes); FAILED(hr))
        return strText + " fail " + Hex(hr);
    std::int32_t lNodes = 0;
    pNodes->get_Count(&lNodes);
    for (std::int32_t lNode = 1; lNode <= lNodes; ++lNode) {
        std::shared_ptr<ISClusNode> pNode;
        std::wstring strName;
        pNodes->get_Item(Variant::Int32(lNode), &pNode);
        pNode->get_Name(&strName);
        strText += " " + WideToNarrow(strName);
    }
    return strText + "\n";
}

// Creates and opens the cluster with these tools, and walks it.
std::string Opened(const PacemakerTools& tools = {}, const std::wstring& strClusterName = L"")
{
    std::shared_ptr<ISCluster> pCluster;
    if (const HRESULT hr = CreatePacemakerCluster(tools, pCluster); FAILED(hr))
        return "create fails " + Hex(hr);
    if (const HRESULT hr = pCluster->Open(strClusterName); FAILED(hr))
        return "open fails " + Hex(hr);
    return Walked(*pCluster);
}

std::string HostName()
{
    utsname host{};
    ::uname(&host);
    return host.nodename;
}

const std::string kOneFci = "group\n"
                            "  SQLFCI1 [SQL Server] VirtualServerName=SQLFCI1 InstanceName=MSSQLSERVER\n"
                            "  SQL Network Name (SQLFCI1) [Network Name] Name=SQLFCI1\n"
                            "resources 2\nnodes node1 node2\n";

class PacemakerClusterTest : public ::testing::Test
{
protected:
    // Writes the CIB after checking that Pacemaker takes it for a valid configuration.
    std::filesystem::path Cib(const CibCluster& cluster)
    {
        const auto path =
            m_folder.Write("cib" + std::to_string(++m_nFiles) + ".xml", testsupport::CibDocument(cluster));
        EXPECT_EQ(testsupport::CrmVerify(path), "");
        return path;
    }

    // A stand-in of one of the tools: a shell script of that body.
    std::filesystem::path StandIn(const std::string& strBody)
    {
        return m_folder.WriteScript("tool" + std::to_string(++m_nFiles), strBody);
    }

    testsupport::ScratchFolder m_folder;
    int m_nFiles = 0;
};

TEST_F(PacemakerClusterTest, TheClusterOfACib)
{
    struct Case
    {
        const char* szName;
        CibCluster cluster;
        std::string strWalked;
    };
    const std::vector<std::string> nodes{"node1", "node2"};
    const Case cases[] = {
        {"one instance", {"vcluster", nodes, CibPrimitive("SQLFCI1", "ocf:mssql:fci")}, kOneFci},
        {"two instances in two groups",
         {"vcluster", nodes,
          CibGroup("rg-sales", {CibPrimitive("SQLSALES", "ocf:mssql:fci")}) +
              CibGroup("rg-hr", {CibPrimitive("SQLHR", "ocf:mssql:fci")})},
         "group\n  SQLSALES [SQL Server] VirtualServerName=SQLSALES InstanceName=MSSQLSERVER\n"
         "  SQL Network Name (SQLSALES) [Network Name] Name=SQLSALES\n"
         "group\n  SQLHR [SQL Server] VirtualServerName=SQLHR InstanceName=MSSQLSERVER\n"
         "  SQL Network Name (SQLHR) [Network Name] Name=SQLHR\nresources 4\nnodes node1 node2\n"},
        {"an instance with its address in its group",
         {"vcluster", nodes,
          CibGroup("rg-sql", {CibPrimitive("SQLVS1", "ocf:mssql:fci"),
                              CibPrimitive("SQLVS1-ip", "ocf:heartbeat:IPaddr2",
                                           {{"ip", "192.0.2.10"}, {"cidr_netmask", "24"}})})},
         "group\n  SQLVS1 [SQL Server] VirtualServerName=SQLVS1 InstanceName=MSSQLSERVER\n"
         "  SQL Network Name (SQLVS1) [Network Name] Name=SQLVS1\n  SQLVS1-ip [ocf:heartbeat:IPaddr2]\n"
         "resources 3\nnodes node1 node2\n"},
        {"an availability group's promotable clone",
         {"vcluster", nodes,
          "<clone id=\"ag_cluster-clone\">" + CibPrimitive("ag_cluster", "ocf:mssql:ag", {{"ag_name", "ag1"}}) +
              "<meta_attributes id=\"ag_cluster-clone-meta\"><nvpair id=\"ag_cluster-clone-meta-promotable\" "
              "name=\"promotable\" value=\"true\"/></meta_attributes></clone>"},
         "group\n  ag_cluster [ocf:mssql:ag]\nresources 1\nnodes node1 node2\n"},
        {"a legacy master",
         {"vcluster", nodes,
          "<master id=\"ms-ag_cluster\">" + CibPrimitive("ag_cluster", "ocf:mssql:ag") + "</master>" +
              CibPrimitive("SQLFCI1", "ocf:mssql:fci")},
         "group\n  ag_cluster [ocf:mssql:ag]\n" + kOneFci.substr(0, kOneFci.find("resources")) +
             "resources 3\nnodes node1 node2\n"},
        {"the product with its network name",
         {"vcluster", nodes,
          CibGroup("rg-velmora", {CibPrimitive("velmora-svc", "ocf:vestrel:velmora", {{"NetworkName", "VELMORANET"}}),
                                  CibPrimitive("velmora-ip", "ocf:heartbeat:IPaddr2", {{"ip", "192.0.2.30"}})})},
         "group\n  velmora-svc [Velmora service 4.1.0.0] NetworkName=VELMORANET\n"
         "  velmora-ip [ocf:heartbeat:IPaddr2]\nresources 2\nnodes node1 node2\n"},
        {"the product without a network name",
         {"vcluster", nodes, CibPrimitive("velmora-svc", "ocf:vestrel:velmora")},
         "group\n  velmora-svc [Velmora service 4.1.0.0]\nresources 1\nnodes node1 node2\n"},
        {"this computer's name in capitals", {"vcluster", {"NODE1", "node2"}, ""}, "resources 0\nnodes NODE1 node2\n"},
        {"a node list without this computer",
         {"other", {"node2", "node3"}, CibPrimitive("SQLFCI1", "ocf:mssql:fci")},
         "open fails 0x800713BC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        const testsupport::CScopedCibEnvironment environment(Cib(c.cluster), "node1");
        EXPECT_EQ(Opened(), c.strWalked);
    }
}

TEST_F(PacemakerClusterTest, WithoutAControllerThisComputerIsItsHostName)
{
    // crm_node cannot answer when no cluster runs here; Pacemaker then goes by the host name.
    const auto cib = Cib({"vcluster", {"node2", HostName()}, ""});
    ::setenv("CIB_file", cib.c_str(), 1);
    const std::string strWalked = Opened();
    ::unsetenv("CIB_file");
    EXPECT_EQ(strWalked, "resources 0\nnodes node2 " + HostName() + "\n");
}

TEST_F(PacemakerClusterTest, APacemakerThatDoesNotRunHereOpensNoCluster)
{
    ASSERT_EQ(std::getenv("CIB_file"), nullptr);
    EXPECT_EQ(Opened(), "open fails 0x80070426");
}

TEST_F(PacemakerClusterTest, WithoutPacemakerThereIsNoClusterSoftware)
{
    PacemakerTools tools;
    tools.cibadmin = m_folder.Path() / "cibadmin";
    EXPECT_EQ(Opened(tools), "create fails 0x80040154");
}

TEST_F(PacemakerClusterTest, TheClusterIsOpenedByItsOwnNameOnly)
{
    const testsupport::CScopedCibEnvironment environment(
        Cib({"vcluster", {"node1", "node2"}, CibPrimitive("SQLFCI1", "ocf:mssql:fci")}), "node1");
    EXPECT_EQ(Opened({}, L"VCluster"), kOneFci);
    EXPECT_EQ(Opened({}, L"other"), "open fails 0x800713BC");

    const testsupport::CScopedCibEnvironment unnamed(Cib({"", {"node1"}, ""}), "node1");
    EXPECT_EQ(Opened(), "resources 0\nnodes node1\n");
    EXPECT_EQ(Opened({}, L"vcluster"), "open fails 0x800713BC");
}

// Pacemaker answered, but with no CIB that can be read: the cluster opens, and its walk fails with
// the reason's code; the reason itself goes to the debugger output.
TEST_F(PacemakerClusterTest, ACibThatCannotBeRead)
{
    const auto valid = Cib({"vcluster", {"node1"}, ""});
    std::string strNewer = testsupport::ReadFile(valid);
    strNewer.replace(strNewer.find("pacemaker-3.9"), 13, "pacemaker-4.0");
    struct Case
    {
        const char* szName;
        std::filesystem::path cib;
        std::string strWalked;
        std::string strWhy;
    };
    const Case cases[] = {
        {"no such file", m_folder.Path() / "missing.xml", "groups fail 0x80070002",
         "cibadmin exited with 105: Could not connect to the CIB: No such device or address"},
        {"an empty file", m_folder.Write("empty.xml", ""), "groups fail 0x8007000D",
         "cibadmin exited with 78: Could not connect to the CIB: Update does not conform to the configured schema"},
        {"no XML", m_folder.Write("text.xml", "this is not xml\n"), "groups fail 0x8007000D",
         "cibadmin exited with 78: Could not connect to the CIB: Update does not conform to the configured schema"},
        {"a schema this Pacemaker does not know", m_folder.Write("newer.xml", strNewer), "groups fail 0x8007000D",
         "cibadmin exited with 78: Could not connect to the CIB: Update does not conform to the configured schema"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        const testsupport::CScopedCibEnvironment environment(c.cib, "node1");
        const platform::CCapturedDebugOutput debugOutput;
        EXPECT_EQ(Opened(), c.strWalked);
        EXPECT_EQ(debugOutput.Texts(),
                  std::vector<std::string>{"The cluster information base cannot be read: " + c.strWhy + "\n"});
    }
}

// A running cluster's tools, played by stand-ins: what cibadmin answers, and which node crm_node
// says this computer is.
TEST_F(PacemakerClusterTest, TheToolsOfARunningCluster)
{
    const auto configuration = m_folder.Write(
        "configuration.xml",
        testsupport::CibConfiguration({"vcluster", {"node1", "node2"}, CibPrimitive("SQLFCI1", "ocf:mssql:fci")}));
    const std::string strPrint = "cat '" + configuration.string() + "'";
    struct Case
    {
        const char* szName;
        std::string strCibadmin;
        std::string strCrmNode;
        std::string strWalked;
        std::vector<std::string> why;
    };
    const Case cases[] = {
        {"this computer is a node", strPrint, "echo node2", kOneFci, {}},
        {"this computer is another", strPrint, "echo node7", "open fails 0x800713BC", {}},
        {"the controller does not answer", strPrint, "exit 102", "open fails 0x800713BC", {}},
        {"not allowed to read",
         "echo 'Could not connect to the CIB: Permission denied' >&2; echo second line >&2; exit 4",
         "echo node1",
         "groups fail 0x80070005",
         {"cibadmin exited with 4: Could not connect to the CIB: Permission denied"}},
        {"another failure", "exit 1", "echo node1", "groups fail 0x80004005", {"cibadmin exited with 1"}},
        {"a crash", "kill -SEGV $$", "echo node1", "groups fail 0x80004005", {"cibadmin was ended by signal 11"}},
        {"no answer in time",
         "exec sleep 30",
         "echo node1",
         "groups fail 0x800705B4",
         {"cibadmin did not answer in time"}},
        {"an answer that is no CIB",
         "echo '<cib/>'",
         "echo node1",
         "groups fail 0x8007000D",
         {"cibadmin's answer: the CIB's root is not <configuration>"}},
        {"an answer too long",
         "head -c 70000 /dev/zero",
         "echo node1",
         "groups fail 0x8007000D",
         {"cibadmin's answer is too long"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        PacemakerTools tools;
        tools.cibadmin = StandIn(c.strCibadmin);
        tools.crmNode = StandIn(c.strCrmNode);
        tools.limits = {std::chrono::milliseconds(c.strCibadmin.starts_with("exec sleep") ? 200 : 60000), 65536};
        const platform::CCapturedDebugOutput debugOutput;
        EXPECT_EQ(Opened(tools), c.strWalked);
        std::vector<std::string> why;
        for (const std::string& strWhy : c.why)
            why.push_back("The cluster information base cannot be read: " + strWhy + "\n");
        EXPECT_EQ(debugOutput.Texts(), why);
    }
}

TEST_F(PacemakerClusterTest, EachOpeningReadsTheCibOnce)
{
    const auto configuration = m_folder.Write(
        "configuration.xml",
        testsupport::CibConfiguration({"vcluster", {"node1"}, CibPrimitive("SQLFCI1", "ocf:mssql:fci")}));
    const auto runs = m_folder.Path() / "runs";
    PacemakerTools tools;
    tools.cibadmin = StandIn("echo run >>'" + runs.string() + "'; cat '" + configuration.string() + "'");
    tools.crmNode = StandIn("echo node1");
    std::shared_ptr<ISCluster> pCluster;
    ASSERT_EQ(CreatePacemakerCluster(tools, pCluster), S_OK);
    ASSERT_EQ(pCluster->Open(L""), S_OK);
    Walked(*pCluster);
    Walked(*pCluster);
    EXPECT_EQ(testsupport::ReadFile(runs), "run\n");
    ASSERT_EQ(pCluster->Open(L""), S_OK);
    EXPECT_EQ(testsupport::ReadFile(runs), "run\nrun\n");
}

} // namespace
