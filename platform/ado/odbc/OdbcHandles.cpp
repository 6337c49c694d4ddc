#include "OdbcHandles.h"

#include "OdbcDiagnostics.h"

namespace platform::ado::odbc {

COdbcEnvironment AllocateEnvironment()
{
    SQLHENV hEnv = nullptr;
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &hEnv);
    if (!Succeeded(rc))
        ThrowOdbcFailure("SQLAllocHandle(SQL_HANDLE_ENV)", rc, SQL_HANDLE_ENV, nullptr);
    COdbcEnvironment env(hEnv);
    CheckOdbc(SQLSetEnvAttr(hEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              "SQLSetEnvAttr(SQL_ATTR_ODBC_VERSION)", SQL_HANDLE_ENV, hEnv);
    return env;
}

COdbcConnectionHandle AllocateConnection(SQLHENV hEnv)
{
    SQLHDBC hDbc = nullptr;
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_DBC, hEnv, &hDbc), "SQLAllocHandle(SQL_HANDLE_DBC)", SQL_HANDLE_ENV, hEnv);
    return COdbcConnectionHandle(hDbc);
}

COdbcStatement AllocateStatement(SQLHDBC hDbc)
{
    SQLHSTMT hStmt = nullptr;
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, hDbc, &hStmt), "SQLAllocHandle(SQL_HANDLE_STMT)", SQL_HANDLE_DBC, hDbc);
    return COdbcStatement(hStmt);
}

} // namespace platform::ado::odbc
