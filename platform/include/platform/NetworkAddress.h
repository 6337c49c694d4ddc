#pragma once
// An IPv4 or IPv6 address with its port, in the form the socket calls take.

#include <cstdint>
#include <optional>
#include <string>

#include <sys/socket.h>

namespace platform {

class NetworkAddress
{
public:
    // What a socket call filled in; nothing for a family other than IPv4 and IPv6.
    static std::optional<NetworkAddress> FromSocketAddress(const sockaddr* pAddress, socklen_t cbAddress);
    // An address literal, "192.0.2.1" or "2001:db8::1" (with a scope such as "%eth0" where it needs
    // one), never a host name: nothing is looked up.
    static std::optional<NetworkAddress> FromLiteral(const std::string& strLiteral, std::uint16_t port);

    int Family() const { return m_address.ss_family; }
    std::uint16_t Port() const;
    void SetPort(std::uint16_t port);
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&m_address); }
    socklen_t Size() const;

    // The same address of a computer, whatever the port.
    bool SameHost(const NetworkAddress& other) const;
    bool operator==(const NetworkAddress& other) const { return SameHost(other) && Port() == other.Port(); }
    // 127.0.0.0/8, ::1, or an IPv4 loopback address in its IPv6 form.
    bool IsLoopback() const;
    // "192.0.2.1:1434", "[2001:db8::1]:1434".
    std::wstring Text() const;

private:
    NetworkAddress() = default;

    sockaddr_storage m_address{};
};

} // namespace platform
