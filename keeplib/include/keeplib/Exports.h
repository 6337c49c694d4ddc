#pragma once
// The library's exported operations, with plain C names. Every one returns an HRESULT and never
// throws; wide strings are owned by the caller and may be null where the name says so.

#include "common/HResult.h"

#include <cstdint>

#define KEEPLIB_API extern "C" __attribute__((visibility("default")))

KEEPLIB_API HRESULT KeeplibSetup(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                 const wchar_t* pstrDatabaseName, std::int32_t lConnectionTimeout,
                                 std::int32_t lAuthType, const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword,
                                 std::uint32_t lDatabaseType, const wchar_t* pstrServiceUserName);

KEEPLIB_API HRESULT KeeplibBackup(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                  const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile,
                                  std::int32_t lConnectionTimeout, std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                  const wchar_t* pstrAuthPassword);

KEEPLIB_API HRESULT KeeplibRestore(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                   const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile,
                                   std::int32_t lConnectionTimeout, std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                   const wchar_t* pstrAuthPassword);

KEEPLIB_API HRESULT KeeplibDropDatabase(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                        const wchar_t* pstrDatabaseName, std::int32_t lConnectionTimeout,
                                        std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                        const wchar_t* pstrAuthPassword);

KEEPLIB_API HRESULT KeeplibExistsDatabase(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                          const wchar_t* pstrDatabaseName, std::int32_t lConnectionTimeout,
                                          std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                          const wchar_t* pstrAuthPassword);

KEEPLIB_API HRESULT KeeplibVersion(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                   const wchar_t* pstrDatabaseName, std::int32_t* plMajor, std::int32_t* plMinor,
                                   char* pszBuild, std::int32_t* plBuildLength, std::int32_t lConnectionTimeout,
                                   std::int32_t lAuthType, const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword,
                                   std::uint32_t lDatabaseType);

KEEPLIB_API HRESULT KeeplibSQLServerCheck(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                          std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                                          const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword);

KEEPLIB_API HRESULT KeeplibSQLServerCheckSvrRole(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                                 std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                                                 const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword,
                                                 const wchar_t* pstrSvrRole);

KEEPLIB_API HRESULT KeeplibBrowseSQLServers(std::int32_t lType, const wchar_t* pstrSaveListToFile,
                                            const wchar_t* pstrUserDomain);

KEEPLIB_API HRESULT KeeplibGetLocalSqlServerType(const wchar_t* pstrServerName, std::int32_t* plType);

KEEPLIB_API HRESULT KeeplibValidateSQLServerName(std::int32_t lType, const wchar_t* pstrServerName);
