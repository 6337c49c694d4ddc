#pragma once
// The product's service reached over the bus, behind the engine's interfaces: the service root,
// the configuration store and item, the quarantine configuration and the importer are objects of
// this process, and only what needs the service crosses the bus (BusService.cpp maps each call).

#include "vaultfeed/ServiceInterfaces.h"

#include <chrono>
#include <memory>

namespace Vaultfeed::Bus {

struct BusTimeouts
{
    // Reaching the bus and finding the service on it.
    std::chrono::milliseconds connect{5000};
    // Each call of the service: the bus's customary default.
    std::chrono::milliseconds call{25000};
};

// Connects to the service's bus (QuarantineContract.h) when the service root is created. A bus
// that cannot be reached is not an error here: creating the root then fails with its HRESULT, as
// creating a COM object fails when its server cannot be reached.
std::shared_ptr<IServiceConnection> ConnectToService(BusTimeouts timeouts = {});

} // namespace Vaultfeed::Bus
