#pragma once
// One client's conversation: pre-login, login, then batches and procedure calls, each answered
// from the rules and written to the transcript.

#include "ServerRules.h"
#include "Transcript.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace TdsServer {

class CTdsSession
{
public:
    CTdsSession(int fdSocket, unsigned uConnection, const CServerRules& rules, CTranscript& transcript);

    // Answers until the client leaves, goes quiet past the socket's timeout, sends what this
    // server does not answer, or breaks the protocol (both written to the transcript).
    void Run();

private:
    void Note(std::wstring_view line) { m_transcript.Write(m_uConnection, line); }
    // Each answers one message; false when the conversation is over.
    bool AnswerPreLogin();
    bool AnswerLogin(std::span<const std::uint8_t> payload);
    bool AnswerBatch(std::span<const std::uint8_t> payload);
    bool AnswerRpc(std::span<const std::uint8_t> payload);
    bool Send(const std::vector<std::uint8_t>& payload, std::chrono::milliseconds pace);
    // Ends the conversation without an answer, as a lost connection does.
    bool Drop();

    int m_fdSocket;
    unsigned m_uConnection;
    const CServerRules& m_rules;
    CTranscript& m_transcript;
    bool m_bLoggedIn = false;
};

} // namespace TdsServer
