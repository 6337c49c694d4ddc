#pragma once
// vaultfeed without a display: the unattended import in the terminal, with its progress on standard
// error when that is a terminal, the report on standard output, and an exit status a setup script
// can test.

#include "vaultfeed/ImportRun.h"
#include "vaultfeed/ServiceInterfaces.h"

#include <csignal>
#include <memory>
#include <string>
#include <vector>

namespace Vaultfeed {

// Start-up as with a display, then the run: a start-up failure, or a command line that leaves the
// folder or the network name to ask for, is told on standard error and gives kExitNotRun.
int RunTerminalForm(const std::vector<std::string>& arguments, const sigset_t& stopSignals);

// Runs the import to its end and prints its report; returns the report's severity, or
// kSeverityError when the report could not be written. A stop signal (blocked, in stopSignals)
// stops the worker first and returns kExitNotRun without a report.
int RunInTerminal(std::shared_ptr<IServiceConnection> pService, const ImportParameters& params,
                  const sigset_t& stopSignals);

} // namespace Vaultfeed
