#pragma once
// How a failed check shows the engine's values.

#include "common/StringUtils.h"
#include "vaultfeed/ImportRun.h"

#include <ostream>

namespace Vaultfeed {

inline void PrintTo(const ImportProgress& progress, std::ostream* pStream)
{
    *pStream << "{done " << progress.bDone << ", " << progress.lPercent << "%, severity " << progress.lSeverity
             << ", \"" << WideToNarrow(progress.strMessage) << "\"}";
}

} // namespace Vaultfeed
