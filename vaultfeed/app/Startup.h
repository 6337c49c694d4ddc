#pragma once
// What vaultfeed decides at start-up: the import's parameters, from the service's configuration,
// the computer's cluster membership and the command line, and whether anything is left for the
// user to choose.

#include "vaultfeed/ImportRun.h"
#include "vaultfeed/ServiceInterfaces.h"

#include <string>
#include <vector>

namespace Vaultfeed {

// The exit status beside a report's severity (0, 1 or 2): the run was cancelled, or could not
// start.
constexpr int kExitNotRun = 3;

struct StartupDecision
{
    ImportParameters params;
    // The source folder or the network name is still unknown: the user must be asked.
    bool bAskUser = false;
};

// Reads the quarantine folder from the service, takes this computer's NetBIOS name as the network
// name unless it is a cluster node, then the command line: vaultfeed [source folder [network name]],
// further arguments ignored. The folder is taken byte for byte. A first argument sets mode -1, the unattended run; an
// empty one leaves the folder to ask for, with no mode chosen. The second is the network name on a cluster node only:
// elsewhere the product runs under the computer's own name. Failures of the service are raised as _com_error, a failure
// to read the computer's name as CWindowsException.
StartupDecision DecideStartup(IServiceConnection& service, const std::vector<std::string>& arguments);

} // namespace Vaultfeed
