#include "testsupport/CibFiles.h"

#include "testsupport/RunProgram.h"

#include <cstdlib>

namespace testsupport {
namespace {

std::string Attribute(const std::string& strName, const std::string& strValue)
{
    std::string strXml = " " + strName + "=\"";
    for (const char c : strValue) {
        switch (c) {
        case '&':
            strXml += "&amp;";
            break;
        case '<':
            strXml += "&lt;";
            break;
        case '>':
            strXml += "&gt;";
            break;
        case '"':
            strXml += "&quot;";
            break;
        default:
            strXml += c;
        }
    }
    return strXml + "\"";
}

} // namespace

std::string CibPrimitive(const std::string& strId, const std::string& strAgent, const CibAttributes& attributes)
{
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t colon = strAgent.find(':', start);
        parts.push_back(strAgent.substr(start, colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    std::string strXml = "<primitive" + Attribute("id", strId) + Attribute("class", parts.front()) +
                         (parts.size() == 3 ? Attribute("provider", parts[1]) : "") + Attribute("type", parts.back());
    if (attributes.empty())
        return strXml + "/>\n";
    const std::string strSetId = strId + "-instance_attributes";
    strXml += ">\n<instance_attributes" + Attribute("id", strSetId) + ">\n";
    for (const auto& [strName, strValue] : attributes)
        strXml += "<nvpair" + Attribute("id", strSetId + "-" + strName) + Attribute("name", strName) +
                  Attribute("value", strValue) + "/>\n";
    return strXml + "</instance_attributes>\n</primitive>\n";
}

std::string CibGroup(const std::string& strId, const std::vector<std::string>& primitives)
{
    std::string strXml = "<group" + Attribute("id", strId) + ">\n";
    for (const std::string& strPrimitive : primitives)
        strXml += strPrimitive;
    return strXml + "</group>\n";
}

std::string CibConfiguration(const CibCluster& cluster)
{
    std::string strXml = "<configuration>\n<crm_config>\n<cluster_property_set id=\"cib-bootstrap-options\">\n";
    if (!cluster.strName.empty())
        strXml += "<nvpair id=\"cib-bootstrap-options-cluster-name\" name=\"cluster-name\"" +
                  Attribute("value", cluster.strName) + "/>\n";
    strXml += "<nvpair id=\"cib-bootstrap-options-stonith-enabled\" name=\"stonith-enabled\" value=\"false\"/>\n"
              "</cluster_property_set>\n</crm_config>\n<nodes>\n";
    for (std::size_t i = 0; i < cluster.nodes.size(); ++i)
        strXml += "<node" + Attribute("id", std::to_string(i + 1)) + Attribute("uname", cluster.nodes[i]) + "/>\n";
    return strXml + "</nodes>\n<resources>\n" + cluster.strResources +
           "</resources>\n<constraints/>\n</configuration>\n";
}

std::string CibDocument(const CibCluster& cluster)
{
    return "<cib crm_feature_set=\"3.16.1\" validate-with=\"pacemaker-3.9\" epoch=\"1\" num_updates=\"0\" "
           "admin_epoch=\"0\">\n" +
           CibConfiguration(cluster) + "<status/>\n</cib>\n";
}

std::string CrmVerify(const std::filesystem::path& cib)
{
    const ProgramResult result = RunProgram("/usr/sbin/crm_verify", {"--xml-file", cib.string()});
    if (result.iExitStatus == 0 && result.strStdout.empty() && result.strStderr.empty())
        return "";
    return "exit " + std::to_string(result.iExitStatus) + ": " + result.strStdout + result.strStderr;
}

std::map<std::string, std::string> CibEnvironment(const std::filesystem::path& cib, const std::string& strLocalNode)
{
    return {{"CIB_file", cib.string()}, {"OCF_RESKEY_CRM_meta_on_node", strLocalNode}};
}

CScopedCibEnvironment::CScopedCibEnvironment(const std::filesystem::path& cib, const std::string& strLocalNode)
{
    for (const auto& [strName, strValue] : CibEnvironment(cib, strLocalNode))
        ::setenv(strName.c_str(), strValue.c_str(), 1);
}

CScopedCibEnvironment::~CScopedCibEnvironment()
{
    for (const auto& [strName, strValue] : CibEnvironment({}, {}))
        ::unsetenv(strName.c_str());
}

} // namespace testsupport
