#include "CibContents.h"

#include "common/StringUtils.h"

namespace platform::cluster {
namespace {

bool IsAgent(const CibPrimitive& primitive, std::string_view provider, std::string_view type)
{
    return primitive.strClass == "ocf" && primitive.strProvider == provider && primitive.strType == type;
}

// "class:provider:type", or "class:type" for a class without providers.
std::wstring AgentOf(const CibPrimitive& primitive)
{
    std::string strAgent = primitive.strClass + ':';
    if (!primitive.strProvider.empty())
        strAgent += primitive.strProvider + ':';
    return NarrowToWide(strAgent + primitive.strType);
}

void AddResourcesOf(const CibPrimitive& primitive, std::vector<ResourceContents>& resources)
{
    const std::wstring strId = NarrowToWide(primitive.strId);
    std::vector<std::pair<std::wstring, Variant>> properties;
    std::wstring strTypeName;
    const bool bFailoverInstance = IsAgent(primitive, "mssql", "fci");
    if (bFailoverInstance) {
        strTypeName = L"SQL Server";
        properties.emplace_back(L"VirtualServerName", Variant::String(strId));
        properties.emplace_back(L"InstanceName", Variant::String(L"MSSQLSERVER"));
    } else if (IsAgent(primitive, "vestrel", "velmora")) {
        strTypeName = L"Velmora service 4.1.0.0";
    } else {
        strTypeName = AgentOf(primitive);
    }
    for (const auto& [strName, strValue] : primitive.instanceAttributes)
        properties.emplace_back(NarrowToWide(strName), Variant::String(NarrowToWide(strValue)));
    resources.push_back({strId, std::move(strTypeName), std::move(properties)});
    if (bFailoverInstance)
        resources.push_back(
            {L"SQL Network Name (" + strId + L")", L"Network Name", {{L"Name", Variant::String(strId)}}});
}

} // namespace

ClusterContents ContentsOfCib(const Cib& cib)
{
    ClusterContents contents;
    for (const CibGroup& group : cib.groups) {
        GroupContents& groupContents = contents.groups.emplace_back();
        groupContents.strName = NarrowToWide(group.strId);
        for (const CibPrimitive& primitive : group.primitives)
            AddResourcesOf(primitive, groupContents.resources);
    }
    for (const std::string& strNode : cib.nodes)
        contents.nodes.push_back(NarrowToWide(strNode));
    return contents;
}

} // namespace platform::cluster
