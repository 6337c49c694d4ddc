#pragma once
// Where a browse asks, and how long it waits: the registry value "Targets" (REG_SZ, "host" or
// "host:port" separated by commas, port 1434 by default) and "WaitMilliseconds" (REG_DWORD, 1000
// by default) under HKEY_LOCAL_MACHINE\Software\Vestrel\Keeplib\Browse; the environment variable
// VESTREL_BROWSE_TARGETS in place of the registry's list; without either, the IPv4 broadcast
// address of every interface that is up, which is what a real network needs.

#include "platform/Registry.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <netinet/in.h>

namespace platform::browse {

inline constexpr std::wstring_view kBrowseSettingsKey = L"Software\\Vestrel\\Keeplib\\Browse";
inline constexpr std::chrono::milliseconds kDefaultWait{1000};
inline constexpr std::chrono::milliseconds kLongestWait{60000};

struct BrowseTarget
{
    sockaddr_in address{};
    bool bBroadcast = false; // any computer may answer, from the port asked
};

struct BrowseSettings
{
    std::optional<std::wstring> targetList; // nothing: the broadcast addresses
    std::chrono::milliseconds wait = kDefaultWait;
};

BrowseSettings ReadBrowseSettings(const Registry& registry);

// The targets of a list; an entry that names no IPv4 address and port gets a note instead.
std::vector<BrowseTarget> ResolveTargetList(std::wstring_view list, std::vector<std::wstring>& notes);

// The broadcast address of every IPv4 interface that is up, broadcasts and is no loopback.
std::vector<BrowseTarget> BroadcastTargets();

} // namespace platform::browse
