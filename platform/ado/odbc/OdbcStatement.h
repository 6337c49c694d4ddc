#pragma once
// Runs one command on an open ODBC connection as ADO's Execute does: the statement or procedure
// call, its parameters, its first result set read whole, and every further result drained so
// that the statement runs to its end. Failures throw OdbcFailure.

#include "DriverSocket.h"
#include "platform/ado/Ado.h"

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::ado::odbc {

// The command's timeout is a deadline of the whole statement: when it passes, the statement is
// cancelled, and a moment later, when the server has not let go, the connection's socket (if
// known) is severed. Either way the statement fails with a timeout.
RecordsetPtr ExecuteStatement(SQLHDBC hDbc, Command& command, bool bNoRecords, const CDriverSocket* pSocket);

// The parameters in the order ODBC binds them: the return value first, then the others as the
// command lists them.
std::vector<ParameterPtr> ParametersInBindingOrder(const std::vector<ParameterPtr>& parameters);

// The ODBC call escape for a stored procedure: "{? = call name(?, ?)}" with a return value,
// "{call name(?, ?)}" without one, one marker per parameter.
std::wstring BuildCallEscape(std::wstring_view strProcedureName, const std::vector<ParameterPtr>& parameters);

// A date and time from the driver (fractions of a second dropped, as VT_DATE here keeps seconds).
Variant VariantFromTimestamp(const SQL_TIMESTAMP_STRUCT& timestamp);

} // namespace platform::ado::odbc
