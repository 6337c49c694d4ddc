#pragma once
// The socket of a browse for one address family: every request of that family goes out through
// it and every answer comes back to it, whichever computer sends it, so that a browse holds two
// descriptors however many computers it asks. The system reports a computer's refusal with the
// address refused, and counts what it had to drop.

#include "common/HandleOwners.h"
#include "platform/NetworkAddress.h"

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace platform::browse {

class CBrowseSocket
{
public:
    // Nonblocking, with as large a receive buffer as the system allows up to kWantedReceiveBuffer;
    // broadcasts allowed when asked. An empty socket that keeps the errno when it cannot be had.
    static CBrowseSocket Open(int iFamily, bool bBroadcasts);

    explicit operator bool() const { return static_cast<bool>(m_socket); }
    int OpenError() const { return m_iOpenError; }
    int Descriptor() const { return m_socket.Get(); }
    // The bytes the system lets wait for the browse to read them.
    int ReceiveBufferSize() const;

    // 0, or the errno of a request that could not be sent.
    int Send(const NetworkAddress& to, std::uint8_t request) const;

    struct Datagram
    {
        NetworkAddress source;
        std::vector<std::uint8_t> bytes;
    };
    // The next datagram that waits, into the buffer given (which a larger datagram overflows and
    // is cut to); nothing when none waits.
    std::optional<Datagram> Receive(std::span<std::uint8_t> buffer) const;
    // The address of the next request the system reports refused or undeliverable; nothing when
    // no report waits.
    std::optional<NetworkAddress> NextRefusal() const;
    // How many datagrams the system dropped, since the socket was opened, for want of buffer
    // space.
    std::uint32_t Drops() const;

    // Enough for the longest browse list (kMaxBrowseTextLength) in 64 KiB answers and the system's
    // overhead on each, or for thousands of small answers arriving at once.
    static constexpr int kWantedReceiveBuffer = 16 << 20;

private:
    CBrowseSocket(CAutoFileHandle socket, int iOpenError) : m_socket(std::move(socket)), m_iOpenError(iOpenError) {}

    CAutoFileHandle m_socket;
    int m_iOpenError = 0;
};

} // namespace platform::browse
