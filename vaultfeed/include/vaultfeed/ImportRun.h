#pragma once
// The body of one import run, as the import job's worker thread runs it: walk a folder of
// quarantine files, copy each into the product's quarantine folder, and hand it to the service,
// counting every outcome.

#include "platform/Event.h"
#include "vaultfeed/ServiceInterfaces.h"

#include <cstdint>
#include <functional>
#include <string>

namespace Vaultfeed {

// The modes of a run: which folder is walked.
constexpr std::int32_t kModeCommandLine = -1;     // the source folder, given on the command line
constexpr std::int32_t kModeQuarantineFolder = 0; // the files are already in the quarantine folder
constexpr std::int32_t kModeManualFolder = 1;     // the source folder the user chose

// The folders are paths as the file system has them: bytes, which need not be UTF-8 (a folder
// named in Latin-1 is a folder all the same).
struct ImportParameters
{
    std::int32_t lMode = kModeCommandLine;
    std::string strSourceFolder;
    std::string strQuarantineFolder;
    std::wstring strNetworkName;
};

struct ImportProgress
{
    bool bDone = false;
    std::int32_t lPercent = 0;
    std::int32_t lSeverity = 0;
    // Empty while running; the final report once done.
    std::wstring strMessage;

    bool operator==(const ImportProgress&) const = default;
};

using ProgressReport = std::function<void(ImportProgress)>;

// Runs the import and reports through report: progress once per entry, and the final state. A
// signalled cancel event ends the run before the next entry, with no final report. Nothing is
// thrown: failures end the run with an error report.
void RunImport(const ImportParameters& params, IServiceConnection& service, platform::CAutoResetEvent& cancel,
               const ProgressReport& report);

} // namespace Vaultfeed
