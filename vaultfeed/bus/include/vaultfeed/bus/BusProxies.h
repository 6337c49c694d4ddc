#pragma once
// The product's service reached over the bus: its objects made by its class factory and called
// through proxies generated from the service's introspection files.

#include "vaultfeed/ServiceInterfaces.h"

#include <memory>

namespace Vaultfeed::Bus {

// Connects to the service's bus (BusConnection.h). A bus that cannot be reached is not an error
// here: every object creation then fails with RPC_E_SERVER_UNAVAILABLE, as creating a COM object
// fails when its server cannot be reached.
std::shared_ptr<IServiceConnection> ConnectToService();

} // namespace Vaultfeed::Bus
