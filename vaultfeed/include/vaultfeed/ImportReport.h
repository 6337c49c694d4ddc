#pragma once
// What a run counts, and the report it ends with.

#include <cstdint>
#include <string>

namespace Vaultfeed {

// The severities of a report.
constexpr std::int32_t kSeveritySuccess = 0;
constexpr std::int32_t kSeverityWarning = 1;
constexpr std::int32_t kSeverityError = 2;

struct ImportCounters
{
    std::uint32_t uProcessed = 0;
    std::uint32_t uSubfoldersIgnored = 0;
    std::uint32_t uAlreadyInDatabase = 0;
    std::uint32_t uCorruptedRenamed = 0;
    std::uint32_t uFailedToCopy = 0;
    std::uint32_t uFailedToImport = 0;
    std::uint32_t uImported = 0;
};

struct ImportReport
{
    std::int32_t lSeverity = kSeveritySuccess;
    std::wstring strText;
};

// One line per count that is not 0 (the processed line always), joined by CR LF. Files already in
// the database or renamed make a warning; files that failed make an error.
ImportReport BuildFinalReport(const ImportCounters& counters);

} // namespace Vaultfeed
