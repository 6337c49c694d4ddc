#pragma once
// This computer's NetBIOS name: the network name the product runs under off a cluster.

#include <string>

namespace Vaultfeed {

// Asks with a buffer of 16 characters, grown by 1024 while the answer does not fit. Any other
// failure throws UTIL::ERR::CWindowsException.
std::wstring NetBiosComputerName();

} // namespace Vaultfeed
