#include "platform/netapi/NetApi.h"

#include "SambaNetApi.h"

namespace platform::netapi {
namespace {

CProcessWide<INetApi>& NetApiInPlace()
{
    static CProcessWide<INetApi> netApi([] { return std::make_shared<CSambaNetApi>(); });
    return netApi;
}

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
    return *NetApiInPlace().Get();
}

CScopedNetApi::CScopedNetApi(std::shared_ptr<INetApi> pNetApi) : CScopedInPlace(NetApiInPlace(), std::move(pNetApi)) {}

} // namespace platform::netapi
