#pragma once
// The product's quarantine folder, as the service's configuration names it.

#include "vaultfeed/ServiceInterfaces.h"

#include <string>

namespace Vaultfeed {

// Asks the service root for the quarantine settings and a quarantine configuration object for
// the folder they name. Any failing call is raised as a _com_error.
std::wstring ReadQuarantineFolder(IServiceConnection& service);

} // namespace Vaultfeed
