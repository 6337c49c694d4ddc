#pragma once
// The diagnostic records of a failed ODBC call, the errors-collection entries made from them, and
// the HRESULT that ADO reports for the same failure.

#include "platform/DiagnosticRecord.h"
#include "platform/ado/Ado.h"

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ado::odbc {

using platform::DiagnosticRecord;

inline bool Succeeded(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// Every record of the handle's last call. unixODBC keeps them only until the next call on the
// same handle, so read them first.
std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// An ODBC call that failed, with its records; OdbcConnection turns it into the errors
// collection and a _com_error.
class OdbcFailure : public std::runtime_error
{
public:
    OdbcFailure(const char* szCall, std::vector<DiagnosticRecord> records);
    const std::vector<DiagnosticRecord>& Records() const noexcept { return m_records; }

private:
    std::vector<DiagnosticRecord> m_records;
};

// Throws OdbcFailure with the records of the handle's last call. A failure that left no record
// (an invalid handle, a failed allocation) gets one naming the call and its return code.
[[noreturn]] void ThrowOdbcFailure(const char* szCall, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle);
inline void CheckOdbc(SQLRETURN rc, const char* szCall, SQLSMALLINT handleType, SQLHANDLE handle)
{
    if (!Succeeded(rc))
        ThrowOdbcFailure(szCall, rc, handleType, handle);
}

// One entry of the errors collection: the native error, "[SQLSTATE] [vendor][component]" as the
// source (with strWhere appended in parentheses when given: the server a connection tried), and
// the message without its prefixes.
Error ToAdoError(const DiagnosticRecord& record, std::wstring_view strWhere = {});

// What ADO reports for a failed connection attempt: a refused login is DB_SEC_E_AUTH_FAILED,
// everything else (no server, no such database, no driver) E_FAIL.
HRESULT HResultForConnectFailure(const std::vector<DiagnosticRecord>& records);
// What ADO reports for a failed statement or transaction call: a timeout is
// DB_E_ABORTLIMITREACHED, a lost connection E_FAIL, anything the server (or the database engine
// behind the driver) rejected DB_E_ERRORSINCOMMAND, everything else E_FAIL. A connection the
// driver knows to be lost is lost whatever its records say: FreeTDS reports the end of the
// server's stream as a warning among the server's messages.
HRESULT HResultForStatementFailure(const std::vector<DiagnosticRecord>& records, bool bConnectionLost = false);
// The records of a call that a deadline broke off: the timeout first, so that it decides the
// HRESULT whatever the driver made of the severed connection.
std::vector<DiagnosticRecord> WithTimeoutFirst(std::vector<DiagnosticRecord> records, std::wstring_view message);
// Whether a failed connection attempt never reached a usable server: no answer, a lost or refused
// network connection, a login timeout, or the database not available there (a mirror). These
// are the failures after which the failover partner is tried; a refused login is not one.
bool IsServerUnreachable(const std::vector<DiagnosticRecord>& records);

} // namespace platform::ado::odbc
