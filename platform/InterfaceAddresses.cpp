#include "platform/InterfaceAddresses.h"

#include <algorithm>
#include <memory>

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace platform {

CInterfaceAddresses CInterfaceAddresses::Read()
{
    CInterfaceAddresses addresses({}, {});
    ifaddrs* pRawInterfaces = nullptr;
    if (::getifaddrs(&pRawInterfaces) != 0)
        return addresses;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> pInterfaces(pRawInterfaces, ::freeifaddrs);
    for (const ifaddrs* pInterface = pInterfaces.get(); pInterface; pInterface = pInterface->ifa_next) {
        const auto own = NetworkAddress::FromSocketAddress(pInterface->ifa_addr, sizeof(sockaddr_storage));
        if (!own)
            continue;
        addresses.m_own.push_back(*own);
        const unsigned uFlags = pInterface->ifa_flags;
        if (own->Family() != AF_INET || !pInterface->ifa_broadaddr || !(uFlags & IFF_UP) || !(uFlags & IFF_BROADCAST) ||
            (uFlags & IFF_LOOPBACK))
            continue;
        if (const auto broadcast =
                NetworkAddress::FromSocketAddress(pInterface->ifa_broadaddr, sizeof(sockaddr_storage)))
            addresses.m_broadcasts.push_back(*broadcast);
    }
    return addresses;
}

bool CInterfaceAddresses::IsOwn(const NetworkAddress& address) const
{
    return address.IsLoopback() || std::any_of(m_own.begin(), m_own.end(),
                                               [&address](const NetworkAddress& own) { return own.SameHost(address); });
}

bool CInterfaceAddresses::IsBroadcast(const NetworkAddress& address) const
{
    static const auto kAllNetworks = NetworkAddress::FromLiteral("255.255.255.255", 0);
    return address.SameHost(*kAllNetworks) ||
           std::any_of(m_broadcasts.begin(), m_broadcasts.end(),
                       [&address](const NetworkAddress& broadcast) { return broadcast.SameHost(address); });
}

} // namespace platform
