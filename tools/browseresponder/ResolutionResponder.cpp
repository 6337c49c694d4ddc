#include "tools/browseresponder/ResolutionResponder.h"

#include <algorithm>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace tools {
namespace {

constexpr std::uint8_t SVR_RESP = 0x05;

std::string HostOf(const std::string& strServer)
{
    return strServer.substr(0, strServer.find('\\'));
}

// A socket bound to a loopback address literal and port (0: a free one).
CAutoFileHandle BoundSocket(const std::string& strAddress, std::uint16_t port)
{
    sockaddr_storage address{};
    socklen_t cbAddress = 0;
    auto* const pIpv4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* const pIpv6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (::inet_pton(AF_INET, strAddress.c_str(), &pIpv4->sin_addr) == 1) {
        pIpv4->sin_family = AF_INET;
        pIpv4->sin_port = htons(port);
        cbAddress = sizeof *pIpv4;
    } else if (::inet_pton(AF_INET6, strAddress.c_str(), &pIpv6->sin6_addr) == 1) {
        pIpv6->sin6_family = AF_INET6;
        pIpv6->sin6_port = htons(port);
        cbAddress = sizeof *pIpv6;
    } else {
        throw std::runtime_error("the responder's address is no address literal: " + strAddress);
    }
    CAutoFileHandle socket(::socket(address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket || ::bind(socket.Get(), reinterpret_cast<const sockaddr*>(&address), cbAddress) != 0)
        throw std::runtime_error("the responder cannot listen on " + strAddress);
    return socket;
}

std::uint16_t PortOf(int iSocket)
{
    sockaddr_storage address{};
    socklen_t cbAddress = sizeof address;
    ::getsockname(iSocket, reinterpret_cast<sockaddr*>(&address), &cbAddress);
    return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                                               : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

} // namespace

Datagram FramedAnswer(const std::string& strText, std::optional<std::uint16_t> declaredLength)
{
    const auto uLength =
        declaredLength.value_or(static_cast<std::uint16_t>(std::min<std::size_t>(strText.size(), 0xFFFF)));
    // Sized once and filled in place: growing a three-byte vector by the text trips a false
    // bounds warning of g++ 12 in optimised builds.
    Datagram datagram(3 + strText.size());
    datagram[0] = SVR_RESP;
    datagram[1] = static_cast<std::uint8_t>(uLength & 0xFF);
    datagram[2] = static_cast<std::uint8_t>(uLength >> 8);
    std::copy(strText.begin(), strText.end(), datagram.begin() + 3);
    return datagram;
}

Datagram InstancesAnswer(const std::vector<std::string>& serverNames)
{
    std::string strText;
    for (const std::string& strServer : serverNames) {
        const auto backslash = strServer.find('\\');
        const std::string strInstance =
            backslash == std::string::npos ? "MSSQLSERVER" : strServer.substr(backslash + 1);
        strText += "ServerName;" + HostOf(strServer) + ";InstanceName;" + strInstance +
                   ";IsClustered;No;Version;16.0.1000.6;tcp;1433;;";
    }
    return FramedAnswer(strText);
}

std::vector<Datagram> AnswersForServers(const std::vector<std::string>& serverNames)
{
    std::vector<std::string> hosts;
    for (const std::string& strServer : serverNames) {
        if (std::find(hosts.begin(), hosts.end(), HostOf(strServer)) == hosts.end())
            hosts.push_back(HostOf(strServer));
    }
    std::vector<Datagram> answers;
    for (const std::string& strHost : hosts) {
        std::vector<std::string> ofHost;
        std::copy_if(serverNames.begin(), serverNames.end(), std::back_inserter(ofHost),
                     [&strHost](const std::string& strServer) { return HostOf(strServer) == strHost; });
        answers.push_back(InstancesAnswer(ofHost));
    }
    return answers;
}

CResolutionResponder::CResolutionResponder(std::vector<Datagram> answers, ResponderOptions options)
    : m_options(std::move(options)), m_socket(BoundSocket(m_options.strAddress, m_options.port)),
      m_port(PortOf(m_socket.Get())), m_answers(std::move(answers)),
      m_lastRequest(std::chrono::steady_clock::now().time_since_epoch().count())
{
    if (m_options.answerFrom)
        m_answeringSocket = BoundSocket(*m_options.answerFrom, m_port);
    m_thread = std::thread([this] { Serve(); });
}

CResolutionResponder::~CResolutionResponder()
{
    Stop();
    m_thread.join();
}

void CResolutionResponder::Stop()
{
    m_bStop = true;
}

std::string CResolutionResponder::Target() const
{
    const bool bIpv6 = m_options.strAddress.find(':') != std::string::npos;
    return (bIpv6 ? "[" + m_options.strAddress + "]" : m_options.strAddress) + ":" + std::to_string(m_port);
}

std::vector<Datagram> CResolutionResponder::Requests() const
{
    const std::lock_guard guard(m_requestsLock);
    return m_requests;
}

std::chrono::steady_clock::duration CResolutionResponder::IdleTime() const
{
    return std::chrono::steady_clock::now().time_since_epoch() - std::chrono::steady_clock::duration(m_lastRequest);
}

void CResolutionResponder::Serve()
{
    Datagram request(65536);
    while (!m_bStop) {
        pollfd descriptor{m_socket.Get(), POLLIN, 0};
        if (::poll(&descriptor, 1, 20) <= 0)
            continue;
        sockaddr_storage asker{};
        socklen_t cbAsker = sizeof asker;
        const ssize_t cbRequest = ::recvfrom(m_socket.Get(), request.data(), request.size(), 0,
                                             reinterpret_cast<sockaddr*>(&asker), &cbAsker);
        if (cbRequest < 0)
            continue;
        m_lastRequest = std::chrono::steady_clock::now().time_since_epoch().count();
        std::size_t nRequests = 0;
        {
            const std::lock_guard guard(m_requestsLock);
            m_requests.emplace_back(request.begin(), request.begin() + cbRequest);
            nRequests = m_requests.size();
        }
        if (nRequests > static_cast<std::size_t>(std::max(m_options.nRequestsLost, 0)))
            Answer(reinterpret_cast<const sockaddr*>(&asker), cbAsker);
    }
}

void CResolutionResponder::Answer(const sockaddr* pAsker, socklen_t cbAsker)
{
    const int iSocket = m_answeringSocket ? m_answeringSocket.Get() : m_socket.Get();
    for (std::size_t iRepeat = 0; iRepeat < m_options.nRepeats && !m_bStop; ++iRepeat) {
        for (std::size_t i = 0; i < m_answers.size(); ++i) {
            if (m_options.beforeAnswer)
                m_options.beforeAnswer(i);
            if (::sendto(iSocket, m_answers[i].data(), m_answers[i].size(), 0, pAsker, cbAsker) >= 0)
                ++m_nSent;
        }
    }
    if (m_options.afterAnswering)
        m_options.afterAnswering();
    ++m_nAnswered;
}

} // namespace tools
