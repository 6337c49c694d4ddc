#pragma once
// Whether a registry key is there, as the installation checks ask it.

#include "platform/Registry.h"

#include <string_view>

namespace Keeplibs {

// True when the key opens, and when it exists but may not be read; false when it is not there.
// Any other answer throws UTIL::ERR::CWindowsException "RegOpenKeyEx (<path>)" with the code.
bool RegistryKeyExists(const platform::Registry& registry, std::wstring_view keyPath);

} // namespace Keeplibs
