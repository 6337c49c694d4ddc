#pragma once
// vaultfeed on a display: the wizard, or the unattended progress dialog, with its message boxes.

#include <csignal>
#include <string>
#include <vector>

namespace Vaultfeed {

// Runs the program's windows until they close and returns the exit status. A stop signal (blocked,
// in stopSignals) closes every window as cancelling would, without a question, once the worker has
// stopped.
int RunWindowForm(const std::vector<std::string>& arguments, const sigset_t& stopSignals);

} // namespace Vaultfeed
