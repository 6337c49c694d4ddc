#include "Cluster.h"

#include "platform/ProcessWide.h"

#include <utility>

namespace platform::cluster {
namespace {

using Factory = CScopedClusterFactory::Factory;

// Without a factory of a test's, there is no cluster software.
CProcessWide<Factory>& FactoryInPlace()
{
    static CProcessWide<Factory> factory([] { return std::make_shared<Factory>(); });
    return factory;
}

} // namespace

HRESULT CreateCluster(std::shared_ptr<ISCluster>& pCluster)
{
    pCluster.reset();
    const std::shared_ptr<Factory> pFactory = FactoryInPlace().Get();
    return *pFactory ? (*pFactory)(pCluster) : REGDB_E_CLASSNOTREG;
}

std::shared_ptr<ISCluster> OpenLocalCluster()
{
    std::shared_ptr<ISCluster> pCluster;
    if (FAILED(CreateCluster(pCluster)) || !pCluster || FAILED(pCluster->Open(L"")))
        return nullptr;
    return pCluster;
}

CScopedClusterFactory::CScopedClusterFactory(Factory factory)
    : m_pPrevious(FactoryInPlace().Exchange(std::make_shared<Factory>(std::move(factory))))
{
}

CScopedClusterFactory::~CScopedClusterFactory() { FactoryInPlace().Exchange(std::move(m_pPrevious)); }

} // namespace platform::cluster
