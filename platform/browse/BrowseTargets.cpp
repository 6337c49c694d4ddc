#include "BrowseTargets.h"

#include "HostResolver.h"
#include "common/StringUtils.h"
#include "platform/browse/ResolutionProtocol.h"

#include <algorithm>
#include <cstdlib>

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

struct HostAndPort
{
    std::wstring_view host;
    std::uint16_t port = kResolutionPort;
    bool bLiteral = false; // an IPv6 address: never a host name
};

// "host", "host:port", "[ipv6]", "[ipv6]:port", or an IPv6 address alone.
std::optional<HostAndPort> SplitEntry(std::wstring_view entry)
{
    HostAndPort split;
    std::optional<std::wstring_view> portText;
    if (entry.starts_with(L'[')) {
        const auto close = entry.find(L']');
        if (close == std::wstring_view::npos)
            return std::nullopt;
        split.host = entry.substr(1, close - 1);
        split.bLiteral = true;
        const std::wstring_view rest = entry.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(L':'))
            return std::nullopt;
        if (!rest.empty())
            portText = rest.substr(1);
    } else if (std::count(entry.begin(), entry.end(), L':') > 1) {
        split.host = entry;
        split.bLiteral = true;
    } else if (const auto colon = entry.find(L':'); colon != std::wstring_view::npos) {
        split.host = entry.substr(0, colon);
        portText = entry.substr(colon + 1);
    } else {
        split.host = entry;
    }
    if (portText) {
        const auto port = ParsePort(*portText);
        if (!port)
            return std::nullopt;
        split.port = *port;
    }
    if (split.host.empty())
        return std::nullopt;
    return split;
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

std::vector<BrowseTarget> ResolveTargetList(std::wstring_view list, const CInterfaceAddresses& interfaces,
                                            std::vector<std::wstring>& notes)
{
    std::vector<BrowseTarget> targets;
    while (!list.empty()) {
        const auto comma = list.find(L',');
        const std::wstring_view entry = Trimmed(list.substr(0, comma));
        list.remove_prefix(comma == std::wstring_view::npos ? list.size() : comma + 1);
        if (entry.empty())
            continue;
        const auto split = SplitEntry(entry);
        if (!split) {
            notes.push_back(L"The browse target " + std::wstring(entry) + L" names no address and port.");
            continue;
        }
        BrowseTarget target;
        target.strHost = split->host;
        const std::string strHost = WideToNarrow(split->host);
        if (const auto literal = NetworkAddress::FromLiteral(strHost, split->port)) {
            target.addresses.push_back(*literal);
        } else if (split->bLiteral) {
            notes.push_back(L"The browse target " + std::wstring(entry) + L" names no address and port.");
            continue;
        } else {
            target.addresses = CurrentHostResolver()->Resolve(strHost, split->port);
            target.bNamedByHost = true;
        }
        if (target.addresses.empty()) {
            notes.push_back(L"The browse target " + std::wstring(entry) + L" names no computer that can be found.");
            continue;
        }
        target.bBroadcast =
            std::any_of(target.addresses.begin(), target.addresses.end(),
                        [&interfaces](const NetworkAddress& address) { return interfaces.IsBroadcast(address); });
        targets.push_back(std::move(target));
    }
    return targets;
}

std::vector<BrowseTarget> BroadcastTargets(const CInterfaceAddresses& interfaces)
{
    std::vector<BrowseTarget> targets;
    for (NetworkAddress address : interfaces.Broadcasts()) {
        address.SetPort(kResolutionPort);
        BrowseTarget target;
        target.strHost = address.Text();
        target.addresses.push_back(address);
        target.bBroadcast = true;
        targets.push_back(std::move(target));
    }
    return targets;
}

} // namespace platform::browse
