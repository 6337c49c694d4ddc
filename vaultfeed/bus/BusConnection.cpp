#include "vaultfeed/bus/BusConnection.h"

#include "vaultfeed/bus/BusNames.h"

#include <cstdlib>

namespace Vaultfeed::Bus {

QString ServiceBusAddress()
{
    const char* szAddress = std::getenv(kBusAddressVariable);
    return szAddress && *szAddress ? QString::fromLocal8Bit(szAddress) : QStringLiteral("the system bus");
}

QDBusConnection ConnectServiceBus(const QString& strConnectionName)
{
    const char* szAddress = std::getenv(kBusAddressVariable);
    if (szAddress && *szAddress)
        return QDBusConnection::connectToBus(QString::fromLocal8Bit(szAddress), strConnectionName);
    return QDBusConnection::connectToBus(QDBusConnection::SystemBus, strConnectionName);
}

} // namespace Vaultfeed::Bus
