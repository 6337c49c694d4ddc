#pragma once
// The argument checks that several operations share, each with its trace line.

#include "CallFrame.h"
#include "keeplib/DatabaseKinds.h"

#include <cstdint>
#include <optional>

namespace Keeplibs {

// Nothing when the database name may go into SQL text; otherwise the refusal, traced.
std::optional<FrameOutcome> RefuseInvalidDatabaseName(const wchar_t* pstrDatabaseName);

// The kind with that number; nothing, traced, for any other number.
std::optional<DatabaseKind> FindDatabaseKindOrTrace(std::uint32_t lDatabaseType);

} // namespace Keeplibs
