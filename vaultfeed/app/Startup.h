#pragma once
// What vaultfeed decides at start-up: the import's parameters, from the service's configuration
// and the command line, and whether anything is left for the user to choose.

#include "vaultfeed/ImportRun.h"
#include "vaultfeed/ServiceInterfaces.h"

#include <string>
#include <vector>

namespace Vaultfeed {

struct StartupDecision
{
    ImportParameters params;
    // The source folder or the network name is still unknown: the user must be asked.
    bool bAskUser = false;
};

// Reads the quarantine folder from the service, then takes the command line: vaultfeed [source
// folder [network name]], further arguments ignored. A first argument sets mode -1, the unattended
// run; an empty one leaves the folder to ask for, with no mode chosen. Failures of the service are
// raised as _com_error.
StartupDecision DecideStartup(IServiceConnection& service, const std::vector<std::wstring>& arguments);

} // namespace Vaultfeed
