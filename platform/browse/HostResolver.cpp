#include "HostResolver.h"

#include <algorithm>
#include <memory>

#include <netdb.h>

namespace platform::browse {
namespace {

class CSystemResolver : public IHostResolver
{
public:
    std::vector<NetworkAddress> Resolve(const std::string& strHost, std::uint16_t port) override
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* pRawResult = nullptr;
        std::vector<NetworkAddress> addresses;
        if (::getaddrinfo(strHost.c_str(), nullptr, &hints, &pRawResult) != 0)
            return addresses;
        const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> pResult(pRawResult, ::freeaddrinfo);
        for (const addrinfo* pEntry = pResult.get(); pEntry; pEntry = pEntry->ai_next) {
            auto address = NetworkAddress::FromSocketAddress(pEntry->ai_addr, pEntry->ai_addrlen);
            if (!address)
                continue;
            address->SetPort(port);
            if (std::find(addresses.begin(), addresses.end(), *address) == addresses.end())
                addresses.push_back(*address);
        }
        return addresses;
    }
};

CProcessWide<IHostResolver>& ResolverInPlace()
{
    static CProcessWide<IHostResolver> resolver([] { return std::make_shared<CSystemResolver>(); });
    return resolver;
}

} // namespace

std::shared_ptr<IHostResolver> CurrentHostResolver()
{
    return ResolverInPlace().Get();
}

CScopedHostResolver::CScopedHostResolver(std::shared_ptr<IHostResolver> pResolver)
    : CScopedInPlace(ResolverInPlace(), std::move(pResolver))
{
}

} // namespace platform::browse
