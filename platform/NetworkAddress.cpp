#include "platform/NetworkAddress.h"

#include "common/StringUtils.h"

#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>

namespace platform {
namespace {

const sockaddr_in& Ipv4(const sockaddr_storage& address)
{
    return reinterpret_cast<const sockaddr_in&>(address);
}

const sockaddr_in6& Ipv6(const sockaddr_storage& address)
{
    return reinterpret_cast<const sockaddr_in6&>(address);
}

} // namespace

std::optional<NetworkAddress> NetworkAddress::FromSocketAddress(const sockaddr* pAddress, socklen_t cbAddress)
{
    if (!pAddress)
        return std::nullopt;
    NetworkAddress address;
    if (pAddress->sa_family == AF_INET && cbAddress >= sizeof(sockaddr_in))
        std::memcpy(&address.m_address, pAddress, sizeof(sockaddr_in));
    else if (pAddress->sa_family == AF_INET6 && cbAddress >= sizeof(sockaddr_in6))
        std::memcpy(&address.m_address, pAddress, sizeof(sockaddr_in6));
    else
        return std::nullopt;
    return address;
}

std::optional<NetworkAddress> NetworkAddress::FromLiteral(const std::string& strLiteral, std::uint16_t port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* pRawResult = nullptr;
    if (strLiteral.empty() || ::getaddrinfo(strLiteral.c_str(), nullptr, &hints, &pRawResult) != 0 || !pRawResult)
        return std::nullopt;
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> pResult(pRawResult, ::freeaddrinfo);
    auto address = FromSocketAddress(pResult->ai_addr, pResult->ai_addrlen);
    if (address)
        address->SetPort(port);
    return address;
}

std::uint16_t NetworkAddress::Port() const
{
    return ntohs(Family() == AF_INET6 ? Ipv6(m_address).sin6_port : Ipv4(m_address).sin_port);
}

void NetworkAddress::SetPort(std::uint16_t port)
{
    if (Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(m_address).sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in&>(m_address).sin_port = htons(port);
}

socklen_t NetworkAddress::Size() const
{
    return Family() == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

bool NetworkAddress::SameHost(const NetworkAddress& other) const
{
    if (Family() != other.Family())
        return false;
    if (Family() == AF_INET)
        return Ipv4(m_address).sin_addr.s_addr == Ipv4(other.m_address).sin_addr.s_addr;
    return IN6_ARE_ADDR_EQUAL(&Ipv6(m_address).sin6_addr, &Ipv6(other.m_address).sin6_addr) &&
           Ipv6(m_address).sin6_scope_id == Ipv6(other.m_address).sin6_scope_id;
}

bool NetworkAddress::IsLoopback() const
{
    constexpr std::uint32_t kLoopbackNetwork = 0x7F000000;
    if (Family() == AF_INET)
        return (ntohl(Ipv4(m_address).sin_addr.s_addr) & 0xFF000000) == kLoopbackNetwork;
    const in6_addr& ipv6 = Ipv6(m_address).sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&ipv6) || (IN6_IS_ADDR_V4MAPPED(&ipv6) && ipv6.s6_addr[12] == 0x7F);
}

std::wstring NetworkAddress::Text() const
{
    char szHost[INET6_ADDRSTRLEN + IF_NAMESIZE + 1] = {};
    ::getnameinfo(Get(), Size(), szHost, sizeof szHost, nullptr, 0, NI_NUMERICHOST);
    const std::wstring strHost = NarrowToWide(szHost);
    return FormatW(Family() == AF_INET6 ? L"[%ls]:%u" : L"%ls:%u", strHost.c_str(), static_cast<unsigned>(Port()));
}

} // namespace platform
