#include "vaultfeed/ImportReport.h"

#include "common/StringUtils.h"

#include <array>

namespace Vaultfeed {
namespace {

struct ReportLine
{
    std::uint32_t ImportCounters::*pCount;
    const wchar_t* wszFormat;
    std::int32_t lSeverity; // the severity the line raises the report to; -1 for none
};

constexpr std::int32_t kNoSeverity = -1;

// In the report's order. The blank flag of "% u" prints nothing before an unsigned number: the
// line reads as the others do.
constexpr std::array<ReportLine, 7> kLines{{
    {&ImportCounters::uProcessed, L"%u files processed", kNoSeverity},
    {&ImportCounters::uSubfoldersIgnored, L"%u subfolders ignored", kNoSeverity},
    {&ImportCounters::uAlreadyInDatabase, L"%u files are already in the database", kSeverityWarning},
    {&ImportCounters::uCorruptedRenamed, L"% u corrupted files have been renamed", kSeverityWarning},
    {&ImportCounters::uFailedToCopy, L"%u files failed to copy", kSeverityError},
    {&ImportCounters::uFailedToImport, L"%u files failed to import", kSeverityError},
    {&ImportCounters::uImported, L"%u files imported successfuly", kNoSeverity},
}};

} // namespace

ImportReport BuildFinalReport(const ImportCounters& counters)
{
    ImportReport report;
    for (const ReportLine& line : kLines) {
        const std::uint32_t uCount = counters.*line.pCount;
        if (uCount == 0 && line.pCount != &ImportCounters::uProcessed)
            continue;
        if (!report.strText.empty())
            report.strText += L"\r\n";
        report.strText += FormatW(line.wszFormat, uCount);
        if (line.lSeverity != kNoSeverity)
            report.lSeverity = line.lSeverity;
    }
    return report;
}

} // namespace Vaultfeed
