#pragma once
// Runs one SQL statement or stored procedure on an open connection: with a return value and
// output parameters, without results (optionally in a transaction of its own that is rolled
// back on failure), or into a read-only recordset. Failures throw, after the connection's
// errors have been traced.

#include "platform/ado/Ado.h"

#include <cstdint>
#include <ostream>

namespace UTIL::ADO {

class CCmdRunSQL
{
public:
    // A null command text counts as empty.
    CCmdRunSQL(std::int32_t lCmdTimeout, platform::ado::ConnectionPtr pActiveConnection, const wchar_t* wszCommandText,
               bool bStoredProcedure);

    // "@RETURN_VALUE", a 32-bit integer return value, starting as 0.
    platform::ado::ParameterPtr AddReturnValue();
    platform::ado::ParameterPtr AddOutputParameter(const wchar_t* wszName, platform::ado::DataType type,
                                                   std::int32_t lSize);

    void Run(bool bAsTransaction);
    // The command's first result set, or null when it produced none.
    platform::ado::RecordsetPtr OpenRecordset();

    // Writes a string for a SQL literal: every single quote doubled. A null string writes nothing.
    static void QuoteString(std::wostream& out, const wchar_t* wszText);

private:
    platform::ado::Command m_command;
};

} // namespace UTIL::ADO
