#pragma once
// This computer as keepctl's discovery sees it: its NetBIOS name, and the registry key below which
// its SQL Server installations are described.

#include "common/StringUtils.h"
#include "platform/netapi/NetApi.h"

#include <gtest/gtest.h>

#include <string>

// The beginning of a registry file's section for a key below the SQL Server key.
inline constexpr const char* kSqlServer = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server";

// This computer's NetBIOS name, as keepctl finds it.
inline std::string ComputerName()
{
    wchar_t wszName[16] = {};
    DWORD nSize = 16;
    EXPECT_EQ(
        platform::netapi::CurrentNetApi().GetComputerNameExW(platform::netapi::ComputerNameNetBIOS, wszName, &nSize),
        0u);
    return WideToNarrow(std::wstring(wszName, nSize));
}
