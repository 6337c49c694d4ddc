#pragma once
// A SQL Server Browser for tests and demos: on a UDP port of 127.0.0.1 (or of another IPv4
// address of this computer), it answers every datagram it receives with the answers it was
// given, as the computers of a network would.

#include "common/HandleOwners.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tools {

using Datagram = std::vector<std::uint8_t>;

// The answer of one computer for its instances ("HOST" for the default instance, "HOST\INST"
// otherwise; all of one host), framed as a server resolution answer.
Datagram InstancesAnswer(const std::vector<std::string>& serverNames);
// Any text framed as a server resolution answer; the length may be made to lie.
Datagram FramedAnswer(const std::string& strText, std::optional<std::uint16_t> declaredLength = std::nullopt);
// One answer per computer for a list of server names, in the order the computers first appear.
std::vector<Datagram> AnswersForServers(const std::vector<std::string>& serverNames);

class CResolutionResponder
{
public:
    // Listens on address:port (0: a free port) and answers from a thread of its own. The address
    // is an IPv4 literal; the domain tests give their lab hosts' own.
    explicit CResolutionResponder(std::vector<Datagram> answers, std::uint16_t port = 0,
                                  const std::string& strAddress = "127.0.0.1");
    ~CResolutionResponder();
    CResolutionResponder(const CResolutionResponder&) = delete;
    CResolutionResponder& operator=(const CResolutionResponder&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "address:port", as browse targets name it.
    std::string Target() const;
    int RequestsAnswered() const { return m_nAnswered; }
    // How long since the last request (or since it started listening).
    std::chrono::steady_clock::duration IdleTime() const;

private:
    void Serve();

    CAutoFileHandle m_socket;
    std::string m_strAddress;
    std::uint16_t m_port = 0;
    std::vector<Datagram> m_answers;
    std::atomic<bool> m_bStop = false;
    std::atomic<int> m_nAnswered = 0;
    std::atomic<std::chrono::steady_clock::rep> m_lastRequest;
    std::thread m_thread;
};

} // namespace tools
