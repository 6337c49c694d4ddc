// What the cluster's objects are made of, from the configuration sections of CIBs: the cluster's
// name, its nodes, its groups and their resources with their types and private properties, and
// the configurations that cannot be read.

#include "CibContents.h"
#include "Cib.h"
#include "common/StringUtils.h"
#include "testsupport/CibFiles.h"

#include <gtest/gtest.h>

namespace {

using namespace platform::cluster;
using testsupport::CibConfiguration;
using testsupport::CibGroup;
using testsupport::CibPrimitive;

// "cluster NAME", then each group and its resources with their types and properties, then the
// nodes; or the parser's error.
std::string Described(std::string_view xml)
{
    const CibParse parse = ParseCib(xml);
    if (!parse.cib)
        return "error: " + parse.strError;
    std::string strText = "cluster " + parse.cib->clusterName.value_or("(none)") + "\n";
    const ClusterContents contents = ContentsOfCib(*parse.cib);
    for (const GroupContents& group : contents.groups) {
        strText += "group " + WideToNarrow(group.strName) + "\n";
        for (const ResourceContents& resource : group.resources) {
            strText += "  " + WideToNarrow(resource.strName) + " [" + WideToNarrow(resource.strTypeName) + "]";
            for (const auto& [strName, value] : resource.privateProperties)
                strText += " " + WideToNarrow(strName) + "=" + WideToNarrow(value.StringValue());
            strText += "\n";
        }
    }
    strText += "nodes";
    for (const std::wstring& strNode : contents.nodes)
        strText += " " + WideToNarrow(strNode);
    return strText + "\n";
}

std::string TwoNodes(const std::string& strResources)
{
    return CibConfiguration({"vcluster", {"node1", "node2"}, strResources});
}

struct Case
{
    const char* szName;
    std::string strXml;
    std::string strDescribed;
};

void PrintTo(const Case& c, std::ostream* pStream)
{
    *pStream << c.szName;
}

class CibContentsTest : public ::testing::TestWithParam<Case>
{
};

// An expected text ending in "..." is the beginning of an answer that goes on: libxml2 words its
// own errors.
TEST_P(CibContentsTest, DescribesTheCluster)
{
    const std::string& strExpected = GetParam().strDescribed;
    const std::string strDescribed = Described(GetParam().strXml);
    if (strExpected.ends_with("...")) {
        const std::string strBeginning = strExpected.substr(0, strExpected.size() - 3);
        EXPECT_TRUE(strDescribed.starts_with(strBeginning) && strDescribed.size() > strBeginning.size())
            << strDescribed;
    } else {
        EXPECT_EQ(strDescribed, strExpected);
    }
}

const std::string kFci = " [SQL Server] VirtualServerName=%1 InstanceName=MSSQLSERVER\n"
                         "  SQL Network Name (%1) [Network Name] Name=%1\n";

// The two resources that stand for the failover cluster instance of that virtual server name.
std::string Fci(const std::string& strName)
{
    std::string strText = "  " + strName + kFci;
    for (auto at = strText.find("%1"); at != std::string::npos; at = strText.find("%1"))
        strText.replace(at, 2, strName);
    return strText;
}

// A configuration written out, for the shapes the helpers do not write.
std::string Configuration(const std::string& strCrmConfig, const std::string& strResources)
{
    return "<configuration><crm_config>" + strCrmConfig +
           "</crm_config><nodes><node id=\"1\" uname=\"node1\"/></nodes><resources>" + strResources +
           "</resources><constraints/></configuration>";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, CibContentsTest,
    ::testing::Values(
        Case{"OneFailoverInstance", TwoNodes(CibPrimitive("SQLFCI1", "ocf:mssql:fci")),
             "cluster vcluster\ngroup SQLFCI1\n" + Fci("SQLFCI1") + "nodes node1 node2\n"},
        Case{"TwoInstancesInTwoGroups",
             TwoNodes(CibGroup("rg-sales", {CibPrimitive("SQLSALES", "ocf:mssql:fci")}) +
                      CibGroup("rg-hr", {CibPrimitive("SQLHR", "ocf:mssql:fci")})),
             "cluster vcluster\ngroup rg-sales\n" + Fci("SQLSALES") + "group rg-hr\n" + Fci("SQLHR") +
                 "nodes node1 node2\n"},
        Case{"AnInstanceWithItsAddress",
             TwoNodes(CibGroup("rg-sql", {CibPrimitive("SQLVS1", "ocf:mssql:fci", {{"monitor_policy", "3"}}),
                                          CibPrimitive("SQLVS1-ip", "ocf:heartbeat:IPaddr2",
                                                       {{"ip", "192.0.2.10"}, {"cidr_netmask", "24"}})})),
             "cluster vcluster\ngroup rg-sql\n"
             "  SQLVS1 [SQL Server] VirtualServerName=SQLVS1 InstanceName=MSSQLSERVER monitor_policy=3\n"
             "  SQL Network Name (SQLVS1) [Network Name] Name=SQLVS1\n"
             "  SQLVS1-ip [ocf:heartbeat:IPaddr2] ip=192.0.2.10 cidr_netmask=24\n"
             "nodes node1 node2\n"},
        // An availability group is no failover instance; its clone is the primitive's own group.
        Case{"AnAvailabilityGroupClone",
             TwoNodes("<clone id=\"ag_cluster-clone\">" +
                      CibPrimitive("ag_cluster", "ocf:mssql:ag", {{"ag_name", "ag1"}}) +
                      "<meta_attributes id=\"ag-meta\"><nvpair id=\"ag-meta-p\" name=\"promotable\" value=\"true\"/>"
                      "</meta_attributes></clone>" +
                      CibPrimitive("ag-listener", "ocf:heartbeat:IPaddr2", {{"ip", "192.0.2.20"}})),
             "cluster vcluster\ngroup ag_cluster\n  ag_cluster [ocf:mssql:ag] ag_name=ag1\n"
             "group ag-listener\n  ag-listener [ocf:heartbeat:IPaddr2] ip=192.0.2.20\nnodes node1 node2\n"},
        Case{"ALegacyMaster",
             TwoNodes("<master id=\"ms-ag\">" + CibPrimitive("ag_cluster", "ocf:mssql:ag") + "</master>" +
                      CibGroup("rg-sql", {CibPrimitive("SQLVS2", "ocf:mssql:fci")})),
             "cluster vcluster\ngroup ag_cluster\n  ag_cluster [ocf:mssql:ag]\ngroup rg-sql\n" + Fci("SQLVS2") +
                 "nodes node1 node2\n"},
        Case{"TheProductWithItsNetworkName",
             TwoNodes(CibGroup("rg-velmora", {CibPrimitive("velmora-svc", "ocf:vestrel:velmora",
                                                           {{"NetworkName", "VELMORANET"}, {"port", "25"}}),
                                              CibPrimitive("velmora-ip", "ocf:heartbeat:IPaddr2")})),
             "cluster vcluster\ngroup rg-velmora\n"
             "  velmora-svc [Velmora service 4.1.0.0] NetworkName=VELMORANET port=25\n"
             "  velmora-ip [ocf:heartbeat:IPaddr2]\nnodes node1 node2\n"},
        Case{"TheProductWithoutANetworkName", TwoNodes(CibPrimitive("velmora-svc", "ocf:vestrel:velmora")),
             "cluster vcluster\ngroup velmora-svc\n  velmora-svc [Velmora service 4.1.0.0]\nnodes node1 node2\n"},
        // Agents are told apart by class, provider and type alike, case included.
        Case{"AgentsThatAreNeitherInstanceNorProduct",
             TwoNodes(CibPrimitive("a", "ocf:MSSQL:fci") + CibPrimitive("b", "ocf:mssql:FCI") +
                      CibPrimitive("c", "lsb:fci") + CibPrimitive("d", "ocf:vestrel:Velmora") +
                      CibPrimitive("fence", "stonith:fence_xvm") + CibPrimitive("cron", "systemd:cron")),
             "cluster vcluster\ngroup a\n  a [ocf:MSSQL:fci]\ngroup b\n  b [ocf:mssql:FCI]\ngroup c\n  c [lsb:fci]\n"
             "group d\n  d [ocf:vestrel:Velmora]\ngroup fence\n  fence [stonith:fence_xvm]\n"
             "group cron\n  cron [systemd:cron]\nnodes node1 node2\n"},
        Case{"ACloneOfAGroupAndBundles",
             TwoNodes("<clone id=\"web-clone\">" + CibGroup("web", {CibPrimitive("web-ip", "ocf:heartbeat:IPaddr2")}) +
                      "</clone><bundle id=\"b1\"><docker image=\"x\"/>" + CibPrimitive("in-b1", "ocf:mssql:fci") +
                      "</bundle><bundle id=\"b2\"><docker image=\"y\"/></bundle>"),
             "cluster vcluster\ngroup web\n  web-ip [ocf:heartbeat:IPaddr2]\ngroup in-b1\n" + Fci("in-b1") +
                 "nodes node1 node2\n"},
        Case{"NodesOfEveryKind",
             "<configuration><crm_config/><nodes><node id=\"1\" uname=\"VM\"/><node id=\"2\" uname=\"remote1\" "
             "type=\"remote\"/><node id=\"3\" uname=\"n\xC5\x93ud\"/></nodes><resources/></configuration>",
             "cluster (none)\nnodes VM remote1 n\xC5\x93ud\n"},
        // Property sets: the cluster's options first whatever their place, then by score; a set with
        // a rule holds only at some times and is left out.
        Case{"TheClusterNameOfTheClusterOptions",
             Configuration("<cluster_property_set id=\"other\" score=\"100\"><nvpair id=\"o1\" name=\"cluster-name\" "
                           "value=\"wrong\"/></cluster_property_set><cluster_property_set id=\"cib-bootstrap-options\">"
                           "<nvpair id=\"o2\" name=\"cluster-name\" value=\"right\"/></cluster_property_set>",
                           ""),
             "cluster right\nnodes node1\n"},
        Case{"TheClusterNameOfAnotherSet",
             Configuration("<cluster_property_set id=\"cib-bootstrap-options\"/><cluster_property_set id=\"timed\" "
                           "score=\"9\"><rule id=\"r\" score=\"INFINITY\"><date_expression id=\"d\" operation=\"gt\" "
                           "start=\"2020-01-01\"/></rule><nvpair id=\"t1\" name=\"cluster-name\" value=\"timed\"/>"
                           "</cluster_property_set><cluster_property_set id=\"plain\"><nvpair id=\"p1\" "
                           "name=\"cluster-name\" value=\"plain\"/></cluster_property_set>",
                           ""),
             "cluster plain\nnodes node1\n"},
        Case{"AttributesAsPacemakerAppliesThem",
             Configuration("", "<primitive id=\"p\" class=\"ocf\" provider=\"vestrel\" type=\"velmora\">"
                               "<instance_attributes id=\"low\" score=\"1\"><nvpair id=\"l1\" name=\"NetworkName\" "
                               "value=\"LOW\"/><nvpair id=\"l2\" name=\"only-low\" value=\"1\"/></instance_attributes>"
                               "<instance_attributes id=\"ruled\" score=\"INFINITY\"><rule id=\"r\" score=\"0\">"
                               "<expression id=\"e\" attribute=\"#uname\" operation=\"eq\" value=\"node1\"/></rule>"
                               "<nvpair id=\"r1\" name=\"NetworkName\" value=\"RULED\"/></instance_attributes>"
                               "<instance_attributes id=\"high\" score=\"+INFINITY\"><nvpair id=\"h1\" "
                               "name=\"NetworkName\" value=\"HIGH\"/><nvpair id=\"h2\" name=\"no-value\"/>"
                               "<nvpair id=\"h3\" id-ref=\"l2\"/></instance_attributes></primitive>"),
             "cluster (none)\ngroup p\n  p [Velmora service 4.1.0.0] NetworkName=HIGH only-low=1\nnodes node1\n"},
        Case{"AttributesByReference",
             Configuration("", "<primitive id=\"a\" class=\"ocf\" provider=\"vestrel\" type=\"velmora\">"
                               "<instance_attributes id=\"shared\"><nvpair id=\"s1\" name=\"NetworkName\" "
                               "value=\"SHARED\"/></instance_attributes></primitive>"
                               "<primitive id=\"b\" class=\"ocf\" provider=\"vestrel\" type=\"velmora\">"
                               "<instance_attributes id-ref=\"shared\"/></primitive>"
                               "<primitive id=\"c\" class=\"ocf\" provider=\"vestrel\" type=\"velmora\">"
                               "<instance_attributes id-ref=\"missing\"/></primitive>"),
             "cluster (none)\ngroup a\n  a [Velmora service 4.1.0.0] NetworkName=SHARED\n"
             "group b\n  b [Velmora service 4.1.0.0] NetworkName=SHARED\ngroup c\n  c [Velmora service 4.1.0.0]\n"
             "nodes node1\n"},
        // A template named after its user still serves it.
        Case{"PrimitivesMadeFromTemplates",
             Configuration("",
                           "<primitive id=\"svc1\" template=\"velmora-template\"><instance_attributes id=\"own\">"
                           "<nvpair id=\"o1\" name=\"NetworkName\" value=\"OWN\"/></instance_attributes></primitive>"
                           "<primitive id=\"svc2\" class=\"ocf\" provider=\"mssql\" type=\"fci\" "
                           "template=\"velmora-template\"/>"
                           "<template id=\"velmora-template\" class=\"ocf\" provider=\"vestrel\" type=\"velmora\">"
                           "<instance_attributes id=\"tpl\"><nvpair id=\"t1\" name=\"NetworkName\" value=\"TPL\"/>"
                           "<nvpair id=\"t2\" name=\"port\" value=\"25\"/></instance_attributes></template>"),
             "cluster (none)\ngroup svc1\n  svc1 [Velmora service 4.1.0.0] NetworkName=OWN port=25\ngroup svc2\n"
             "  svc2 [SQL Server] VirtualServerName=svc2 InstanceName=MSSQLSERVER NetworkName=TPL port=25\n"
             "  SQL Network Name (svc2) [Network Name] Name=svc2\nnodes node1\n"},
        Case{"TextOfEveryKind",
             Configuration("", "<primitive id=\"v\" class=\"ocf\" provider=\"vestrel\" type=\"velmora\">"
                               "<instance_attributes id=\"i\"><nvpair id=\"n\" name=\"NetworkName\" "
                               "value=\"A&amp;B &lt;&#x4E2D;&gt; &quot;\xC3\xA9\"/></instance_attributes></primitive>"),
             "cluster (none)\ngroup v\n  v [Velmora service 4.1.0.0] NetworkName=A&B <\xE4\xB8\xAD> \"\xC3\xA9\n"
             "nodes node1\n"},
        Case{"Empty", "", "error: the CIB is empty"},
        Case{"AWholeCibInsteadOfItsConfiguration", testsupport::CibDocument({"vcluster", {"node1"}, ""}),
             "error: the CIB's root is not <configuration>"},
        Case{"NoResources", "<configuration><crm_config/><nodes/></configuration>",
             "error: the CIB lacks crm_config, nodes or resources"},
        Case{"NoNodes", "<configuration><crm_config/><resources/></configuration>",
             "error: the CIB lacks crm_config, nodes or resources"},
        // Never expanded, never fetched: a document with a type declaration is refused whole.
        Case{"ADocumentTypeWithAnEntity",
             "<!DOCTYPE configuration [<!ENTITY x \"SECRET\">]><configuration><crm_config/><nodes><node id=\"1\" "
             "uname=\"&x;\"/></nodes><resources/></configuration>",
             "error: the CIB has a document type declaration"},
        Case{"AnExternalDocumentType",
             "<!DOCTYPE configuration SYSTEM \"http://192.0.2.1/cib.dtd\"><configuration><crm_config/><nodes/>"
             "<resources/></configuration>",
             "error: the CIB has a document type declaration"},
        Case{"Truncated", TwoNodes(CibPrimitive("SQLFCI1", "ocf:mssql:fci")).substr(0, 200),
             "error: the CIB is not well-formed XML: ..."},
        Case{"NotXml", "this is not xml", "error: the CIB is not well-formed XML: ..."}),
    [](const ::testing::TestParamInfo<Case>& caseInfo) { return std::string(caseInfo.param.szName); });

} // namespace
