#pragma once
// The connection to the bus the product's service is on.

#include <QDBusConnection>
#include <QString>

namespace Vaultfeed::Bus {

// Connects under the given name to the bus at the address in VESTREL_SERVICE_BUS, or to the system
// bus when it is not set. A connection that failed is returned too: it is not connected, and its
// lastError says why.
QDBusConnection ConnectServiceBus(const QString& strConnectionName);

// The address of that bus, as the connection was asked for it: for messages.
QString ServiceBusAddress();

} // namespace Vaultfeed::Bus
