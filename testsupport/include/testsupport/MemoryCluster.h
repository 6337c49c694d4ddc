#pragma once
// A failover cluster that tests describe: its resource groups with their resources (name, type
// and private properties), its nodes, whether it opens, and calls that fail. While a
// CScopedMemoryCluster lives, creating the cluster object gives this cluster.

#include "platform/cluster/Cluster.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct MemoryResource
{
    std::wstring strName;
    std::wstring strTypeName;
    std::vector<std::pair<std::wstring, platform::Variant>> privateProperties;
    // Calls of this resource alone that fail, named as the cluster's are
    // ("ISClusResource->get_TypeName").
    std::map<std::string, HRESULT> failures{};
};

struct MemoryGroup
{
    std::wstring strName;
    std::vector<MemoryResource> resources;
};

struct MemoryCluster
{
    HRESULT hrOpen = S_OK; // what opening the local cluster answers
    std::vector<MemoryGroup> groups;
    std::vector<std::wstring> nodes;
    // Calls that fail, named as "Interface->member" (for example "ISClusResGroups->get_Item"),
    // with the HRESULT every such call answers.
    std::map<std::string, HRESULT> failures;
};

class CScopedMemoryCluster
{
public:
    explicit CScopedMemoryCluster(MemoryCluster cluster);

private:
    platform::cluster::CScopedClusterFactory m_factory;
};

} // namespace testsupport
