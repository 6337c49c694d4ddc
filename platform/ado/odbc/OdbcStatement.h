#pragma once
// Runs one command on an open ODBC connection as ADO's Execute does: the statement or procedure
// call with its parameters bound, its first result set read whole, and every further result
// drained so that the statement runs to its end. Failures throw OdbcFailure, or CCommandRefused
// for parameters that cannot be bound as they are.

#include "DriverSocket.h"
#include "OdbcPreparedStatement.h"
#include "platform/ado/Ado.h"

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::ado::odbc {

// The command's timeout is a deadline of the whole execution: when it passes, the statement is
// cancelled, and a moment later, when the server has not let go, the connection's socket (if
// known) is severed. Either way the execution fails with a timeout.
//
// A statement of its own, run directly (SQLExecDirectW); the driver counts its markers.
RecordsetPtr ExecuteStatement(SQLHDBC hDbc, Command& command, bool bNoRecords, const CDriverSocket* pSocket);
// A prepared command's statement, prepared at its first execution; a command whose parameters
// do not match the statement's markers in number is refused (DB_E_ERRORSINCOMMAND) before it
// runs.
RecordsetPtr ExecutePrepared(COdbcPreparedStatement& statement, Command& command, bool bNoRecords,
                             const CDriverSocket* pSocket);

// The text the driver gets for the command: its own, or a procedure's call escape.
std::wstring StatementText(const Command& command);

// The parameters in the order ODBC binds them: the return value first, then the others as the
// command lists them.
std::vector<ParameterPtr> ParametersInBindingOrder(const std::vector<ParameterPtr>& parameters);

// The ODBC call escape for a stored procedure: "{? = call name(?, ?)}" with a return value,
// "{call name(?, ?)}" without one, one marker per parameter.
std::wstring BuildCallEscape(std::wstring_view strProcedureName, const std::vector<ParameterPtr>& parameters);

} // namespace platform::ado::odbc
