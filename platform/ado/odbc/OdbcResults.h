#pragma once
// The results of an executed statement, as ADO's Execute hands them over: the first result set
// read whole into a recordset, every further result drained so that the statement runs to its
// end. Failures throw OdbcFailure.

#include "platform/ado/Ado.h"

#include <sql.h>
#include <sqlext.h>

namespace platform::ado::odbc {

// rcExecute is what SQLExecDirectW or SQLExecute answered (SQL_NO_DATA: no result at all).
// With bNoRecords every result is drained and null returned.
RecordsetPtr ReadResults(SQLHSTMT hStmt, SQLRETURN rcExecute, bool bNoRecords);

// A date and time from the driver (fractions of a second dropped, as VT_DATE here keeps seconds).
Variant VariantFromTimestamp(const SQL_TIMESTAMP_STRUCT& timestamp);

} // namespace platform::ado::odbc
