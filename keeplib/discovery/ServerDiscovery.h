#pragma once
// The operations behind the exports that find SQL Server instances and classify server names.

#include "common/HResult.h"

#include <cstdint>

namespace Keeplibs {

// Server type mask bits, shared by discovery and validation.
constexpr std::int32_t kServerTypeRemote = 1;
constexpr std::int32_t kServerTypeLocalComputer = 2;
constexpr std::int32_t kServerTypeLocalCluster = 4;

HRESULT KeeplibBrowseSQLServers(std::int32_t lType, const wchar_t* pstrSaveListToFile, const wchar_t* pstrUserDomain);
HRESULT KeeplibGetLocalSqlServerType(const wchar_t* pstrServerName, std::int32_t* plType);
HRESULT KeeplibValidateSQLServerName(std::int32_t lType, const wchar_t* pstrServerName);

} // namespace Keeplibs
