#include "NetApi.h"

#include "SambaNetApi.h"

#include <mutex>
#include <utility>

namespace platform::netapi {
namespace {

std::mutex g_lock;
std::shared_ptr<INetApi> g_pNetApi;

} // namespace

DomainTrustArray::DomainTrustArray(std::vector<DS_DOMAIN_TRUSTSW> trusts)
    : m_trusts(std::move(trusts)), m_ulCount(static_cast<ULONG>(m_trusts.size()))
{
}

DomainTrustArray DomainTrustArray::CountWithoutArray(ULONG ulCount)
{
    DomainTrustArray trusts;
    trusts.m_ulCount = ulCount;
    trusts.m_bHasArray = false;
    return trusts;
}

INetApi& CurrentNetApi()
{
    const std::lock_guard guard(g_lock);
    if (!g_pNetApi)
        g_pNetApi = std::make_shared<CSambaNetApi>();
    return *g_pNetApi;
}

CScopedNetApi::CScopedNetApi(std::shared_ptr<INetApi> pNetApi)
{
    const std::lock_guard guard(g_lock);
    m_pPrevious = std::exchange(g_pNetApi, std::move(pNetApi));
}

CScopedNetApi::~CScopedNetApi()
{
    const std::lock_guard guard(g_lock);
    g_pNetApi = std::move(m_pPrevious);
}

} // namespace platform::netapi
