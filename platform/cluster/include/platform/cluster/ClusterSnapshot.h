#pragma once
// A cluster's contents as plain values, and the cluster objects that present them: what a cluster
// hands out once it has read what it holds. Every object is made once, with the snapshot, so that
// a walk over the cluster costs no more than its size whatever it asks.

#include "platform/cluster/Cluster.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::cluster {

struct ResourceContents
{
    std::wstring strName;
    std::wstring strTypeName;
    // Found by name in this order: the first of a name is the one asked for.
    std::vector<std::pair<std::wstring, Variant>> privateProperties;
};

struct GroupContents
{
    std::wstring strName;
    std::vector<ResourceContents> resources;
};

struct ClusterContents
{
    std::vector<GroupContents> groups;
    std::vector<std::wstring> nodes;
};

// The objects of a cluster's contents. Their collections take a position from 1 (VT_I4) or a
// name (VT_BSTR, compared exactly; the first item of that name); anything else is E_INVALIDARG.
class CClusterSnapshot
{
public:
    explicit CClusterSnapshot(const ClusterContents& contents);

    const std::shared_ptr<ISClusResGroups>& ResourceGroups() const { return m_pGroups; }
    // The resources of every group, group after group.
    const std::shared_ptr<ISClusResources>& Resources() const { return m_pResources; }
    const std::shared_ptr<ISClusNodes>& Nodes() const { return m_pNodes; }

private:
    std::shared_ptr<ISClusResGroups> m_pGroups;
    std::shared_ptr<ISClusResources> m_pResources;
    std::shared_ptr<ISClusNodes> m_pNodes;
};

} // namespace platform::cluster
