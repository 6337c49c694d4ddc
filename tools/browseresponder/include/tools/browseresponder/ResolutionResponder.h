#pragma once
// A SQL Server Browser for tests, demos and benchmarks: on a UDP port of this computer's loopback,
// it answers every datagram it receives with the answers it was given, as the computers of a
// network would; and, as hostile or unlucky ones do, it can lose requests, answer from another
// address, or flood.

#include "common/HandleOwners.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>

namespace tools {

using Datagram = std::vector<std::uint8_t>;

// The answer of one computer for its instances ("HOST" for the default instance, "HOST\INST"
// otherwise; all of one host), framed as a server resolution answer.
Datagram InstancesAnswer(const std::vector<std::string>& serverNames);
// Any text framed as a server resolution answer; the length may be made to lie.
Datagram FramedAnswer(const std::string& strText, std::optional<std::uint16_t> declaredLength = std::nullopt);
// One answer per computer for a list of server names, in the order the computers first appear.
std::vector<Datagram> AnswersForServers(const std::vector<std::string>& serverNames);

struct ResponderOptions
{
    // A loopback address: "127.0.0.1", another of 127.0.0.0/8, or "::1"; the domain tests give
    // their lab hosts' own.
    std::string strAddress = "127.0.0.1";
    std::uint16_t port = 0; // 0: a free port
    // Requests left unanswered before the first that is answered, as if they had been lost.
    int nRequestsLost = 0;
    // Another loopback address to answer from, at the same port: a computer with several.
    std::optional<std::string> answerFrom;
    // How many times each request gets the whole list of answers: a large number floods the asker
    // until the responder is stopped.
    std::size_t nRepeats = 1;
    // Called on the responder's thread before each answer to a request goes out, with its index
    // in the list of answers, and after the last.
    std::function<void(std::size_t iAnswer)> beforeAnswer;
    std::function<void()> afterAnswering;
};

class CResolutionResponder
{
public:
    // Listens, and answers from a thread of its own; throws std::runtime_error when the address
    // cannot be had.
    explicit CResolutionResponder(std::vector<Datagram> answers, ResponderOptions options = {});
    ~CResolutionResponder();
    CResolutionResponder(const CResolutionResponder&) = delete;
    CResolutionResponder& operator=(const CResolutionResponder&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "127.0.0.1:port" or "[::1]:port", as browse targets name it.
    std::string Target() const;
    // The requests received, in order, lost ones included.
    std::vector<Datagram> Requests() const;
    int RequestsAnswered() const { return m_nAnswered; }
    // How many answer datagrams were sent in all.
    std::size_t AnswersSent() const { return m_nSent; }
    // How long since the last request (or since it started listening).
    std::chrono::steady_clock::duration IdleTime() const;
    // Ends the answering, a flood too; the destructor does it as well.
    void Stop();

private:
    void Serve();
    void Answer(const sockaddr* pAsker, socklen_t cbAsker);

    ResponderOptions m_options;
    CAutoFileHandle m_socket;
    CAutoFileHandle m_answeringSocket; // the socket at answerFrom, when one is given
    std::uint16_t m_port = 0;
    std::vector<Datagram> m_answers;
    mutable std::mutex m_requestsLock;
    std::vector<Datagram> m_requests;
    std::atomic<bool> m_bStop = false;
    std::atomic<int> m_nAnswered = 0;
    std::atomic<std::size_t> m_nSent = 0;
    std::atomic<std::chrono::steady_clock::rep> m_lastRequest;
    std::thread m_thread;
};

} // namespace tools
