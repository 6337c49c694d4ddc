#pragma once
// Owners of ODBC handles. A connection handle is disconnected before it is freed (freeing a
// connected handle fails and would leak it); the environment must outlive its connections.

#include "common/HandleOwners.h"

#include <sql.h>
#include <sqlext.h>

namespace platform::ado::odbc {

struct OdbcEnvironmentTraits
{
    using handle_type = SQLHENV;
    static constexpr handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { SQLFreeHandle(SQL_HANDLE_ENV, h); }
};

struct OdbcConnectionTraits
{
    using handle_type = SQLHDBC;
    static constexpr handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept
    {
        // Answers an error when the handle was never connected; that is fine here.
        SQLDisconnect(h);
        SQLFreeHandle(SQL_HANDLE_DBC, h);
    }
};

struct OdbcStatementTraits
{
    using handle_type = SQLHSTMT;
    static constexpr handle_type Invalid() noexcept { return nullptr; }
    static void Close(handle_type h) noexcept { SQLFreeHandle(SQL_HANDLE_STMT, h); }
};

using COdbcEnvironment = UTIL::CUniqueHandle<OdbcEnvironmentTraits>;
using COdbcConnectionHandle = UTIL::CUniqueHandle<OdbcConnectionTraits>;
using COdbcStatement = UTIL::CUniqueHandle<OdbcStatementTraits>;

// Each allocates a handle or throws OdbcFailure with the records of the parent handle.
COdbcEnvironment AllocateEnvironment();
COdbcConnectionHandle AllocateConnection(SQLHENV hEnv);
COdbcStatement AllocateStatement(SQLHDBC hDbc);

} // namespace platform::ado::odbc
