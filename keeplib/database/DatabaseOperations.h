#pragma once
// Operations on a product database that database setup shares with the exports.

#include "common/HResult.h"
#include "platform/ado/Ado.h"

#include <cstdint>
#include <string>

namespace Keeplibs {

// S_OK when the database exists on the connection's server, S_FALSE when not.
HRESULT KeeplibExistsDatabase(std::int32_t lCmdTimeout, const platform::ado::ConnectionPtr& pCnx,
                              const wchar_t* wszDatabaseName);
// S_OK when the connection's current database holds that stored procedure, S_FALSE when not.
HRESULT KeeplibExistsStoredProcedure(std::int32_t lCmdTimeout, const platform::ado::ConnectionPtr& pCnx,
                                     const wchar_t* wszProcedureName);
// Calls the kind's version procedure in the connection's current database.
HRESULT KeeplibGetVersion(std::int32_t lCmdTimeout, const platform::ado::ConnectionPtr& pCnx,
                          std::uint32_t lDatabaseType, std::int32_t& lMajor, std::int32_t& lMinor,
                          std::wstring& strBuild);

} // namespace Keeplibs
