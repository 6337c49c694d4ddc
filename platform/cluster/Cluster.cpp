#include "platform/cluster/Cluster.h"

#include "PacemakerCluster.h"

#include <utility>

namespace platform::cluster {
namespace {

// Pacemaker's cluster, unless a test put a cluster of its own in place.
CProcessWide<ClusterFactory>& FactoryInPlace()
{
    static CProcessWide<ClusterFactory> factory([] {
        return std::make_shared<ClusterFactory>(
            [](std::shared_ptr<ISCluster>& pCluster) { return CreatePacemakerCluster(PacemakerTools{}, pCluster); });
    });
    return factory;
}

} // namespace

HRESULT CreateCluster(std::shared_ptr<ISCluster>& pCluster)
{
    pCluster.reset();
    return (*FactoryInPlace().Get())(pCluster);
}

std::shared_ptr<ISCluster> OpenLocalCluster()
{
    std::shared_ptr<ISCluster> pCluster;
    if (FAILED(CreateCluster(pCluster)) || !pCluster || FAILED(pCluster->Open(L"")))
        return nullptr;
    return pCluster;
}

CScopedClusterFactory::CScopedClusterFactory(ClusterFactory factory)
    : CScopedInPlace(FactoryInPlace(), std::make_shared<ClusterFactory>(std::move(factory)))
{
}

} // namespace platform::cluster
