#pragma once
// One diagnostic record of an ODBC call, as SQLGetDiagRecW gives it: what the ODBC layer reads from
// a driver, and what the browse's own calls hand out.

#include <cstdint>
#include <string>

namespace platform {

struct DiagnosticRecord
{
    std::wstring strSqlState; // five characters; empty for a failure that left no record
    std::int32_t lNativeError = 0;
    std::wstring strMessage; // as the driver wrote it, with its "[vendor][component]" prefixes
};

} // namespace platform
