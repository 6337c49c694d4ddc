#include "Cluster.h"

#include <mutex>
#include <utility>

namespace platform::cluster {
namespace {

std::mutex g_lock;
CScopedClusterFactory::Factory g_factory;

} // namespace

HRESULT CreateCluster(std::shared_ptr<ISCluster>& pCluster)
{
    CScopedClusterFactory::Factory factory;
    {
        const std::lock_guard guard(g_lock);
        factory = g_factory;
    }
    pCluster.reset();
    return factory ? factory(pCluster) : REGDB_E_CLASSNOTREG;
}

CScopedClusterFactory::CScopedClusterFactory(Factory factory)
{
    const std::lock_guard guard(g_lock);
    m_previous = std::exchange(g_factory, std::move(factory));
}

CScopedClusterFactory::~CScopedClusterFactory()
{
    const std::lock_guard guard(g_lock);
    g_factory = std::move(m_previous);
}

} // namespace platform::cluster
