#pragma once
// This computer's name in a requested format.

#include "platform/netapi/NetApi.h"

#include <string>

namespace UTIL::SERVERNAME {

// Asks with a buffer of 16 characters, grown by 1024 while the answer does not fit. Throws
// UTIL::ERR::CWindowsException when the name cannot be had.
std::wstring GetComputerClusterName(platform::netapi::COMPUTER_NAME_FORMAT nameFormat);

} // namespace UTIL::SERVERNAME
