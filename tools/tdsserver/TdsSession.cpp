#include "TdsSession.h"

#include "TdsLogin.h"
#include "TdsPackets.h"
#include "TdsRequests.h"
#include "TdsTokens.h"
#include "common/StringUtils.h"

namespace TdsServer {
namespace {

constexpr std::int32_t kLoginFailed = 18456;
constexpr std::uint8_t kLoginFailedClass = 14;
constexpr std::uint8_t kErrorClass = 16;
constexpr std::uint8_t kInfoClass = 0;

// A result set, an error or an information message as the rule says, before the statement's end.
// Returns the status bits of the DONE token that closes it.
std::uint16_t WriteAnswerBody(CTdsWriter& out, const ServerAnswer& answer, std::uint64_t& cRows)
{
    switch (answer.kind) {
    case ServerAnswer::Kind::Rows:
        WriteResultSet(out, answer.columns, answer.rows);
        cRows = answer.rows.size();
        return kDoneCount;
    case ServerAnswer::Kind::Error:
        WriteServerMessage(out, answer.lNumber, kErrorClass, answer.strMessage);
        return kDoneError;
    case ServerAnswer::Kind::Info:
        WriteServerMessage(out, answer.lNumber, kInfoClass, answer.strMessage);
        return kDoneFinal;
    case ServerAnswer::Kind::Outputs:
    case ServerAnswer::Kind::Drop:
        break;
    }
    return kDoneFinal;
}

} // namespace

CTdsSession::CTdsSession(int fdSocket, unsigned uConnection, const CServerRules& rules, CTranscript& transcript)
    : m_fdSocket(fdSocket), m_uConnection(uConnection), m_rules(rules), m_transcript(transcript)
{
}

void CTdsSession::Run()
{
    try {
        for (;;) {
            const std::optional<TdsMessage> message = ReadMessage(m_fdSocket);
            if (!message)
                return;
            const std::span<const std::uint8_t> payload = message->payload;
            const PacketType type = message->type;
            bool bGoOn = false;
            if (type == PacketType::PreLogin && !m_bLoggedIn) {
                bGoOn = AnswerPreLogin();
            } else if (type == PacketType::Login7 && !m_bLoggedIn) {
                bGoOn = AnswerLogin(payload);
            } else if (type == PacketType::SqlBatch && m_bLoggedIn) {
                bGoOn = AnswerBatch(payload);
            } else if (type == PacketType::Rpc && m_bLoggedIn) {
                bGoOn = AnswerRpc(payload);
            } else {
                Note(L"unexpected message of type " + std::to_wstring(static_cast<int>(type)));
            }
            if (!bGoOn)
                return;
        }
    } catch (const CProtocolError& e) {
        Note(L"protocol error: " + NarrowToWide(e.what()));
    }
}

bool CTdsSession::AnswerPreLogin()
{
    Note(L"prelogin");
    return Send(PreLoginResponse(), m_rules.LoginPace());
}

bool CTdsSession::AnswerLogin(std::span<const std::uint8_t> payload)
{
    const LoginRequest login = ParseLogin7(payload);
    const std::wstring strDatabase = login.strDatabase.empty() ? L"master" : login.strDatabase;
    m_bLoggedIn = !login.bIntegratedSecurity && m_rules.AcceptsLogin(login.strUser, login.strPassword);
    Note((login.bIntegratedSecurity ? L"login integrated" : L"login user=" + login.strUser) + L" database=" +
         strDatabase + (m_bLoggedIn ? L": accepted" : L": refused"));
    CTdsWriter out;
    if (m_bLoggedIn) {
        WriteLoginAcknowledgement(out, strDatabase);
        WriteDone(out, DoneToken::Done, kDoneFinal);
    } else {
        WriteServerMessage(out, kLoginFailed, kLoginFailedClass, L"Login failed for user '" + login.strUser + L"'.");
        WriteDone(out, DoneToken::Done, kDoneError);
    }
    // A refused login ends the conversation, as the server closes the connection.
    return Send(out.Data(), m_rules.LoginPace()) && m_bLoggedIn;
}

bool CTdsSession::AnswerBatch(std::span<const std::uint8_t> payload)
{
    const std::wstring strText = ParseSqlBatch(payload);
    Note(L"sql: " + strText);
    const std::optional<ServerAnswer> answer = m_rules.ForBatch(strText);
    if (answer && answer->kind == ServerAnswer::Kind::Drop)
        return Drop();
    CTdsWriter out;
    std::uint16_t uStatus = kDoneFinal;
    std::uint64_t cRows = 0;
    if (answer)
        uStatus = WriteAnswerBody(out, *answer, cRows);
    WriteDone(out, DoneToken::Done, uStatus, cRows);
    return Send(out.Data(), m_rules.AnswerPace());
}

bool CTdsSession::AnswerRpc(std::span<const std::uint8_t> payload)
{
    const RpcRequest request = ParseRpc(payload);
    Note(L"rpc: " + request.strProcedure);
    for (const RpcParameter& parameter : request.parameters)
        Note(L"  param " + parameter.strName + (parameter.bOutput ? L" output " : L" input ") + parameter.strType +
             (parameter.bOutput ? L"" : L" = " + parameter.strValue));

    const std::optional<ServerAnswer> answer = m_rules.ForProcedure(request.strProcedure);
    if (answer && answer->kind == ServerAnswer::Kind::Drop)
        return Drop();
    CTdsWriter out;
    std::int32_t lReturnStatus = 0;
    std::uint16_t uStatus = kDoneFinal;
    if (answer && answer->kind == ServerAnswer::Kind::Outputs) {
        lReturnStatus = answer->outputs.front().Int32Value();
    } else if (answer) {
        std::uint64_t cRows = 0;
        uStatus = WriteAnswerBody(out, *answer, cRows);
        if (answer->kind == ServerAnswer::Kind::Rows)
            WriteDone(out, DoneToken::DoneInProc, kDoneCount | kDoneMore, cRows);
    }
    WriteReturnStatus(out, lReturnStatus);
    if (answer && answer->kind == ServerAnswer::Kind::Outputs) {
        // The output values in the order of the output parameters.
        std::size_t iValue = 1;
        for (std::size_t i = 0; i < request.parameters.size() && iValue < answer->outputs.size(); ++i) {
            if (request.parameters[i].bOutput)
                WriteReturnValue(out, static_cast<std::uint16_t>(i), request.parameters[i].strName,
                                 answer->outputs[iValue++]);
        }
    }
    WriteDone(out, DoneToken::DoneProc, uStatus == kDoneError ? kDoneError : kDoneFinal);
    return Send(out.Data(), m_rules.AnswerPace());
}

bool CTdsSession::Send(const std::vector<std::uint8_t>& payload, std::chrono::milliseconds pace)
{
    return WriteMessage(m_fdSocket, PacketType::TabularResult, payload, pace);
}

bool CTdsSession::Drop()
{
    Note(L"dropped the connection");
    return false;
}

} // namespace TdsServer
