#include "platform/cluster/Cluster.h"

#include <utility>

namespace platform::cluster {
namespace {

// Without a factory of a test's, there is no cluster software.
CProcessWide<ClusterFactory>& FactoryInPlace()
{
    static CProcessWide<ClusterFactory> factory([] { return std::make_shared<ClusterFactory>(); });
    return factory;
}

} // namespace

HRESULT CreateCluster(std::shared_ptr<ISCluster>& pCluster)
{
    pCluster.reset();
    const std::shared_ptr<ClusterFactory> pFactory = FactoryInPlace().Get();
    return *pFactory ? (*pFactory)(pCluster) : REGDB_E_CLASSNOTREG;
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
