#include "BrowseSocket.h"

#include <cerrno>

#include <linux/sock_diag.h>
#include <netinet/in.h>

namespace platform::browse {
namespace {

void Enable(int iSocket, int iLevel, int iOption)
{
    const int iOn = 1;
    ::setsockopt(iSocket, iLevel, iOption, &iOn, sizeof iOn);
}

// Failures the system reports on the next read after a computer refused a request: the refusal
// itself waits on the error queue, and datagrams may still wait behind it.
bool IsReportedRefusal(int iErrno)
{
    return iErrno == ECONNREFUSED || iErrno == EHOSTUNREACH || iErrno == ENETUNREACH || iErrno == EHOSTDOWN ||
           iErrno == ENETDOWN;
}

} // namespace

CBrowseSocket CBrowseSocket::Open(int iFamily, bool bBroadcasts)
{
    CAutoFileHandle socket(::socket(iFamily, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket)
        return CBrowseSocket(std::move(socket), errno);
    const int iSocket = socket.Get();
    // The system doubles what it is asked for, for its own bookkeeping. Beyond the limit it sets
    // for every program only with the privilege to; else as far as that limit.
    const int cbHalf = kWantedReceiveBuffer / 2;
    if (::setsockopt(iSocket, SOL_SOCKET, SO_RCVBUFFORCE, &cbHalf, sizeof cbHalf) != 0)
        ::setsockopt(iSocket, SOL_SOCKET, SO_RCVBUF, &cbHalf, sizeof cbHalf);
    // Without these, an unconnected socket hears nothing of a computer that refused it.
    if (iFamily == AF_INET6) {
        Enable(iSocket, IPPROTO_IPV6, IPV6_V6ONLY);
        Enable(iSocket, IPPROTO_IPV6, IPV6_RECVERR);
    } else {
        Enable(iSocket, IPPROTO_IP, IP_RECVERR);
    }
    // Without it a broadcast fails to send, and says so in the browse's notes.
    if (bBroadcasts)
        Enable(iSocket, SOL_SOCKET, SO_BROADCAST);
    return CBrowseSocket(std::move(socket), 0);
}

int CBrowseSocket::ReceiveBufferSize() const
{
    int cbBuffer = 0;
    socklen_t cbValue = sizeof cbBuffer;
    ::getsockopt(m_socket.Get(), SOL_SOCKET, SO_RCVBUF, &cbBuffer, &cbValue);
    return cbBuffer;
}

int CBrowseSocket::Send(const NetworkAddress& to, std::uint8_t request) const
{
    return ::sendto(m_socket.Get(), &request, sizeof request, 0, to.Get(), to.Size()) < 0 ? errno : 0;
}

std::optional<CBrowseSocket::Datagram> CBrowseSocket::Receive(std::span<std::uint8_t> buffer) const
{
    for (;;) {
        sockaddr_storage source{};
        socklen_t cbSource = sizeof source;
        const ssize_t cbReceived = ::recvfrom(m_socket.Get(), buffer.data(), buffer.size(), 0,
                                              reinterpret_cast<sockaddr*>(&source), &cbSource);
        if (cbReceived < 0) {
            if (errno == EINTR || IsReportedRefusal(errno))
                continue;
            return std::nullopt;
        }
        if (auto address = NetworkAddress::FromSocketAddress(reinterpret_cast<const sockaddr*>(&source), cbSource))
            return Datagram{*address, {buffer.begin(), buffer.begin() + cbReceived}};
    }
}

std::optional<NetworkAddress> CBrowseSocket::NextRefusal() const
{
    sockaddr_storage refused{};
    std::uint8_t byte = 0;
    iovec data{&byte, sizeof byte};
    alignas(cmsghdr) char control[512];
    msghdr message{};
    message.msg_name = &refused;
    message.msg_namelen = sizeof refused;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    // The name of a report is the address the refused request was sent to.
    if (::recvmsg(m_socket.Get(), &message, MSG_ERRQUEUE) < 0)
        return std::nullopt;
    return NetworkAddress::FromSocketAddress(reinterpret_cast<const sockaddr*>(&refused), message.msg_namelen);
}

std::uint32_t CBrowseSocket::Drops() const
{
    std::uint32_t memoryInformation[SK_MEMINFO_VARS] = {};
    socklen_t cbValue = sizeof memoryInformation;
    if (::getsockopt(m_socket.Get(), SOL_SOCKET, SO_MEMINFO, memoryInformation, &cbValue) != 0 ||
        cbValue <= SK_MEMINFO_DROPS * sizeof(std::uint32_t))
        return 0;
    return memoryInformation[SK_MEMINFO_DROPS];
}

} // namespace platform::browse
