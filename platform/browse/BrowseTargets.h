#pragma once
// Where a browse asks, and how long it waits: the registry value "Targets" (REG_SZ, entries
// separated by commas) and "WaitMilliseconds" (REG_DWORD, 1000 by default) under
// HKEY_LOCAL_MACHINE\Software\Vestrel\Keeplib\Browse; the environment variable
// VESTREL_BROWSE_TARGETS in place of the registry's list; without either, the IPv4 broadcast
// address of every interface that is up, which is what a real network needs.
//
// An entry is "host" or "host:port" (port 1434 by default), where host is an IPv4 address, a host
// name, or an IPv6 address in brackets ("[2001:db8::1]:1434"); an IPv6 address without a port may
// stand without brackets.

#include "platform/InterfaceAddresses.h"
#include "platform/NetworkAddress.h"
#include "platform/Registry.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::browse {

inline constexpr std::wstring_view kBrowseSettingsKey = L"Software\\Vestrel\\Keeplib\\Browse";
inline constexpr std::chrono::milliseconds kDefaultWait{1000};
inline constexpr std::chrono::milliseconds kLongestWait{60000};

// One computer to ask, or one broadcast.
struct BrowseTarget
{
    std::wstring strHost;                  // as the list names it: a host name or an address
    std::vector<NetworkAddress> addresses; // every address of the computer, each with the port asked
    bool bNamedByHost = false;             // a host name, which its answers name too
    bool bBroadcast = false;               // any computer may answer, from the port asked
};

struct BrowseSettings
{
    std::optional<std::wstring> targetList; // nothing: the broadcast addresses
    std::chrono::milliseconds wait = kDefaultWait;
};

BrowseSettings ReadBrowseSettings(const Registry& registry);

// The targets of a list; an entry that names no address and port, or a host that cannot be
// found, gets a note instead.
std::vector<BrowseTarget> ResolveTargetList(std::wstring_view list, const CInterfaceAddresses& interfaces,
                                            std::vector<std::wstring>& notes);

// The broadcast address of every IPv4 interface that is up, broadcasts and is no loopback.
std::vector<BrowseTarget> BroadcastTargets(const CInterfaceAddresses& interfaces);

} // namespace platform::browse
