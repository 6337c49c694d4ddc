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

CResolutionResponder::CResolutionResponder(std::vector<Datagram> answers, std::uint16_t port,
                                           const std::string& strAddress)
    : m_socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), m_strAddress(strAddress),
      m_answers(std::move(answers)), m_lastRequest(std::chrono::steady_clock::now().time_since_epoch().count())
{
    if (!m_socket)
        throw std::runtime_error("no socket for the responder");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, strAddress.c_str(), &address.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + strAddress);
    address.sin_port = htons(port);
    socklen_t cbAddress = sizeof address;
    if (::bind(m_socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), &cbAddress) != 0)
        throw std::runtime_error("the responder cannot listen on " + strAddress);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

CResolutionResponder::~CResolutionResponder()
{
    m_bStop = true;
    m_thread.join();
}

std::string CResolutionResponder::Target() const
{
    return m_strAddress + ":" + std::to_string(m_port);
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
        sockaddr_in source{};
        socklen_t cbSource = sizeof source;
        if (::recvfrom(m_socket.Get(), request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&source),
                       &cbSource) < 0)
            continue;
        m_lastRequest = std::chrono::steady_clock::now().time_since_epoch().count();
        for (const Datagram& answer : m_answers)
            ::sendto(m_socket.Get(), answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&source),
                     cbSource);
        ++m_nAnswered;
    }
}

} // namespace tools
