#pragma once
// The unattended import in a terminal: progress on standard error when it is a terminal, the
// report on standard output, and an exit status a setup script can test.

#include "vaultfeed/ImportJob.h"

#include <csignal>

namespace Vaultfeed {

// Exit statuses beside the report's severity (0, 1 or 2).
constexpr int kExitNotRun = 3; // cancelled, or could not start

// Runs the job to its end and prints its report; returns the report's severity. A stop signal
// (blocked, in stopSignals) stops the worker first and returns kExitNotRun without a report.
int RunInTerminal(CImportJob& job, const ImportParameters& params, const sigset_t& stopSignals);

} // namespace Vaultfeed
