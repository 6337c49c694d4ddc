#include "testsupport/LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>

namespace testsupport {

CLoopbackSocket::CLoopbackSocket() : m_socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t cbAddress = sizeof address;
    if (!m_socket || ::bind(m_socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), &cbAddress) != 0)
        throw std::runtime_error("cannot bind a socket to 127.0.0.1");
    m_iPort = ntohs(address.sin_port);
}

void CLoopbackSocket::Listen()
{
    if (::listen(m_socket.Get(), 4) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
}

CAutoFileHandle CLoopbackSocket::Accept(std::chrono::milliseconds timeout)
{
    pollfd waiting{m_socket.Get(), POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1)
        return {};
    return CAutoFileHandle(::accept4(m_socket.Get(), nullptr, nullptr, SOCK_CLOEXEC));
}

} // namespace testsupport
