#pragma once
// The addresses of this computer's network interfaces, read at one moment: its own addresses, by
// which an address can be told to be this computer's, and the IPv4 broadcast address of each
// interface that broadcasts.

#include "platform/NetworkAddress.h"

#include <utility>
#include <vector>

namespace platform {

class CInterfaceAddresses
{
public:
    // As the system has them now; none when they cannot be read (loopback addresses still count
    // as this computer's).
    static CInterfaceAddresses Read();
    CInterfaceAddresses(std::vector<NetworkAddress> own, std::vector<NetworkAddress> broadcasts)
        : m_own(std::move(own)), m_broadcasts(std::move(broadcasts))
    {
    }

    // Whether the address, whatever its port, is this computer's: a loopback address or one of
    // an interface's.
    bool IsOwn(const NetworkAddress& address) const;
    // 255.255.255.255, or the broadcast address of an interface.
    bool IsBroadcast(const NetworkAddress& address) const;
    // The broadcast address of every IPv4 interface that is up, broadcasts and is no loopback.
    const std::vector<NetworkAddress>& Broadcasts() const { return m_broadcasts; }

private:
    std::vector<NetworkAddress> m_own;
    std::vector<NetworkAddress> m_broadcasts;
};

} // namespace platform
