#include "ArgumentChecks.h"

#include "NameValidation.h"

namespace Keeplibs {

std::optional<FrameOutcome> RefuseInvalidDatabaseName(const wchar_t* pstrDatabaseName)
{
    if (ValidateDatabaseName(pstrDatabaseName))
        return std::nullopt;
    TRACE_ERROR(TRACE_FAILURE, L"Invalid database name.");
    return Abandoned(E_INVALIDARG);
}

std::optional<DatabaseKind> FindDatabaseKindOrTrace(std::uint32_t lDatabaseType)
{
    const auto kind = FindDatabaseKind(lDatabaseType);
    if (!kind)
        TRACE_ERROR(TRACE_FAILURE, L"Invalid database type.");
    return kind;
}

} // namespace Keeplibs
