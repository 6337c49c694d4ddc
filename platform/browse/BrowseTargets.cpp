#include "BrowseTargets.h"

#include "common/StringUtils.h"
#include "platform/browse/ResolutionProtocol.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>

namespace platform::browse {
namespace {

std::wstring_view Trimmed(std::wstring_view text)
{
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t'))
        text.remove_suffix(1);
    return text;
}

std::optional<std::uint16_t> ParsePort(std::wstring_view text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    unsigned uPort = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        uPort = uPort * 10 + static_cast<unsigned>(c - L'0');
    }
    if (uPort == 0 || uPort > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(uPort);
}

std::optional<in_addr> ResolveHost(const std::string& strHost)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* pRawResult = nullptr;
    if (::getaddrinfo(strHost.c_str(), nullptr, &hints, &pRawResult) != 0 || !pRawResult)
        return std::nullopt;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> pResult(pRawResult, ::freeaddrinfo);
    return reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr;
}

} // namespace

BrowseSettings ReadBrowseSettings(const Registry& registry)
{
    BrowseSettings settings;
    RegistryKey key;
    if (registry.OpenKey(kBrowseSettingsKey, key) == 0) {
        settings.targetList = key.ReadString(L"Targets", 32767);
        if (const auto wait = key.ReadDword(L"WaitMilliseconds"))
            settings.wait = std::min(std::chrono::milliseconds(*wait), kLongestWait);
    }
    // Set, even empty, the variable takes the registry's place: an empty list asks nobody.
    if (const char* szTargets = std::getenv("VESTREL_BROWSE_TARGETS"))
        settings.targetList = NarrowToWide(szTargets);
    return settings;
}

std::vector<BrowseTarget> ResolveTargetList(std::wstring_view list, std::vector<std::wstring>& notes)
{
    // A target may be a broadcast address, of all networks or of one: answers then come from others.
    const std::vector<BrowseTarget> broadcasts = BroadcastTargets();
    const auto isBroadcast = [&broadcasts](in_addr address) {
        return address.s_addr == htonl(INADDR_BROADCAST) ||
               std::any_of(broadcasts.begin(), broadcasts.end(), [address](const BrowseTarget& broadcast) {
                   return broadcast.address.sin_addr.s_addr == address.s_addr;
               });
    };
    std::vector<BrowseTarget> targets;
    while (!list.empty()) {
        const auto comma = list.find(L',');
        const std::wstring_view entry = Trimmed(list.substr(0, comma));
        list.remove_prefix(comma == std::wstring_view::npos ? list.size() : comma + 1);
        if (entry.empty())
            continue;
        const auto colon = entry.rfind(L':');
        const std::wstring_view host = colon == std::wstring_view::npos ? entry : entry.substr(0, colon);
        const auto port =
            colon == std::wstring_view::npos ? std::optional(kResolutionPort) : ParsePort(entry.substr(colon + 1));
        const auto address = port && !host.empty() ? ResolveHost(WideToNarrow(host)) : std::nullopt;
        if (!address) {
            notes.push_back(L"The browse target " + std::wstring(entry) + L" names no IPv4 address and port.");
            continue;
        }
        BrowseTarget target;
        target.address.sin_family = AF_INET;
        target.address.sin_port = htons(*port);
        target.address.sin_addr = *address;
        target.bBroadcast = isBroadcast(*address);
        targets.push_back(target);
    }
    return targets;
}

std::vector<BrowseTarget> BroadcastTargets()
{
    std::vector<BrowseTarget> targets;
    ifaddrs* pRawInterfaces = nullptr;
    if (::getifaddrs(&pRawInterfaces) != 0)
        return targets;
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> pInterfaces(pRawInterfaces, ::freeifaddrs);
    for (const ifaddrs* pInterface = pInterfaces.get(); pInterface; pInterface = pInterface->ifa_next) {
        const unsigned uFlags = pInterface->ifa_flags;
        if (!pInterface->ifa_addr || pInterface->ifa_addr->sa_family != AF_INET || !pInterface->ifa_broadaddr ||
            !(uFlags & IFF_UP) || !(uFlags & IFF_BROADCAST) || (uFlags & IFF_LOOPBACK))
            continue;
        BrowseTarget target;
        target.address = *reinterpret_cast<const sockaddr_in*>(pInterface->ifa_broadaddr);
        target.address.sin_port = htons(kResolutionPort);
        target.bBroadcast = true;
        targets.push_back(target);
    }
    return targets;
}

} // namespace platform::browse
