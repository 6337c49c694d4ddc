#include "ResolutionDriver.h"

#include "AnswerSources.h"
#include "BrowseSocket.h"
#include "common/StringUtils.h"
#include "platform/browse/ResolutionProtocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <poll.h>

namespace platform::browse {
namespace {

using Clock = std::chrono::steady_clock;

// Once every computer asked has answered or refused, and no broadcast is out, the browse ends when
// the answers stop coming: a computer answers for all its instances at once.
constexpr std::chrono::milliseconds kQuietAfterLastAnswer{50};
// How much of what waits is read from the system before any of it is looked at: read promptly,
// the system's buffer is free again for what comes next.
constexpr std::size_t kMostUnreadBytes = std::size_t{4} << 20;

std::wstring SystemErrorText(int iErrno)
{
    return NarrowToWide(std::strerror(iErrno));
}

struct TargetState
{
    bool bAnswered = false;
    std::vector<bool> refused; // by address: refused, or it could not be asked

    bool AllRefused() const
    {
        return std::all_of(refused.begin(), refused.end(), [](bool b) { return b; });
    }
};

class CBrowse
{
public:
    CBrowse(const std::vector<BrowseTarget>& targets, std::chrono::milliseconds wait,
            const CInterfaceAddresses& interfaces)
        : m_targets(targets), m_interfaces(interfaces), m_start(Clock::now()), m_deadline(m_start + wait),
          m_states(targets.size()), m_answers(targets.size())
    {
        for (std::size_t i = 0; i < targets.size(); ++i)
            m_states[i].refused.assign(targets[i].addresses.size(), false);
    }

    BrowseResult Run()
    {
        if (m_targets.empty())
            return m_answers.Result(0);
        if (!OpenSockets())
            return {std::nullopt, {L"No socket for the browse: " + SystemErrorText(m_iSocketError)}};
        SendRequests();
        std::size_t iNextRequest = 1;
        for (;;) {
            const auto now = Clock::now();
            if (now >= m_deadline)
                break;
            const bool bSettled = AllSettled();
            auto until = m_deadline;
            if (bSettled)
                until = std::min(until, now + kQuietAfterLastAnswer);
            else if (iNextRequest < kRequestTimes.size())
                until = std::min(until, m_start + kRequestTimes[iNextRequest]);
            const int iReady = Poll(std::chrono::ceil<std::chrono::milliseconds>(until - now));
            if (iReady < 0) {
                m_answers.Note(L"Waiting for answers failed: " + SystemErrorText(errno));
                break;
            }
            if (iReady == 0 && bSettled)
                break;
            // Asked again only after what had arrived was read: a computer that answered is not.
            if (iNextRequest < kRequestTimes.size() && Clock::now() >= m_start + kRequestTimes[iNextRequest]) {
                SendRequests();
                ++iNextRequest;
            }
        }
        std::uint64_t nDrops = 0;
        int cbReceiveBuffer = 0;
        for (const auto& socket : m_sockets) {
            if (socket) {
                nDrops += socket->Drops();
                cbReceiveBuffer = socket->ReceiveBufferSize();
            }
        }
        m_answers.CountDrops(nDrops);
        return m_answers.Result(cbReceiveBuffer);
    }

private:
    static std::size_t FamilyIndex(int iFamily) { return iFamily == AF_INET6 ? 1 : 0; }

    // One socket for each family asked; an address of a family that has none cannot be asked.
    bool OpenSockets()
    {
        const bool bBroadcasts = std::any_of(m_targets.begin(), m_targets.end(),
                                             [](const BrowseTarget& target) { return target.bBroadcast; });
        bool bAnyOpen = false;
        for (std::size_t i = 0; i < m_targets.size(); ++i) {
            for (std::size_t j = 0; j < m_targets[i].addresses.size(); ++j) {
                const NetworkAddress& address = m_targets[i].addresses[j];
                auto& socket = m_sockets[FamilyIndex(address.Family())];
                if (!socket)
                    socket = CBrowseSocket::Open(address.Family(), bBroadcasts);
                if (*socket) {
                    bAnyOpen = true;
                } else {
                    m_iSocketError = socket->OpenError();
                    CannotAsk(i, j, m_iSocketError);
                }
            }
        }
        return bAnyOpen;
    }

    void CannotAsk(std::size_t iTarget, std::size_t iAddress, int iErrno)
    {
        m_states[iTarget].refused[iAddress] = true;
        m_answers.Note(L"The browse could not ask " + m_targets[iTarget].addresses[iAddress].Text() + L": " +
                       SystemErrorText(iErrno));
    }

    bool StillToAsk(std::size_t iTarget) const
    {
        return !m_states[iTarget].AllRefused() && (m_targets[iTarget].bBroadcast || !m_states[iTarget].bAnswered);
    }

    bool AllSettled() const
    {
        for (std::size_t i = 0; i < m_targets.size(); ++i) {
            if (StillToAsk(i))
                return false;
        }
        return true;
    }

    // A named computer gets the unicast request, a broadcast the broadcast one: a computer answers
    // either, but only for itself.
    void SendRequests()
    {
        for (std::size_t i = 0; i < m_targets.size(); ++i) {
            if (!StillToAsk(i))
                continue;
            const std::uint8_t request = m_targets[i].bBroadcast ? CLNT_BCAST_EX : CLNT_UCAST_EX;
            for (std::size_t j = 0; j < m_targets[i].addresses.size(); ++j) {
                if (m_states[i].refused[j])
                    continue;
                const NetworkAddress& address = m_targets[i].addresses[j];
                if (const int iErrno = m_sockets[FamilyIndex(address.Family())]->Send(address, request))
                    CannotAsk(i, j, iErrno);
            }
        }
    }

    int Poll(std::chrono::milliseconds timeout)
    {
        std::vector<pollfd> descriptors;
        std::vector<const CBrowseSocket*> polled;
        for (const auto& socket : m_sockets) {
            if (socket && *socket) {
                descriptors.push_back({socket->Descriptor(), POLLIN, 0});
                polled.push_back(&*socket);
            }
        }
        const int iReady = ::poll(descriptors.data(), descriptors.size(), static_cast<int>(timeout.count()));
        if (iReady < 0)
            return errno == EINTR ? 1 : -1;
        for (std::size_t i = 0; i < descriptors.size(); ++i) {
            if (descriptors[i].revents & POLLERR)
                ReadRefusals(*polled[i]);
            if (descriptors[i].revents & POLLIN)
                ReadAnswers(*polled[i]);
        }
        return iReady;
    }

    void ReadRefusals(const CBrowseSocket& socket)
    {
        while (const auto refused = socket.NextRefusal()) {
            for (std::size_t i = 0; i < m_targets.size(); ++i) {
                for (std::size_t j = 0; j < m_targets[i].addresses.size(); ++j) {
                    if (!m_targets[i].bBroadcast && m_targets[i].addresses[j] == *refused)
                        m_states[i].refused[j] = true;
                }
            }
        }
    }

    // Reads what waits, as far as the deadline: a flood never keeps the browse past it.
    void ReadAnswers(const CBrowseSocket& socket)
    {
        std::vector<CBrowseSocket::Datagram> unread;
        std::size_t cbUnread = 0;
        while (cbUnread < kMostUnreadBytes && Clock::now() < m_deadline) {
            auto datagram = socket.Receive(m_buffer);
            if (!datagram)
                break;
            cbUnread += datagram->bytes.size();
            unread.push_back(std::move(*datagram));
        }
        for (const CBrowseSocket::Datagram& datagram : unread)
            Take(datagram);
    }

    void Take(const CBrowseSocket::Datagram& datagram)
    {
        const auto answer = ParseResolutionAnswer(datagram.bytes);
        const auto target = TargetOfAnswer(m_targets, m_interfaces, datagram.source, answer ? &*answer : nullptr);
        if (!target) {
            m_answers.CountStranger();
            return;
        }
        m_states[*target].bAnswered = true;
        if (answer)
            m_answers.Add(*target, datagram.bytes, *answer);
        else
            m_answers.CountMalformed();
    }

    const std::vector<BrowseTarget>& m_targets;
    const CInterfaceAddresses& m_interfaces;
    const Clock::time_point m_start;
    const Clock::time_point m_deadline;
    std::vector<TargetState> m_states;
    CAnswers m_answers;
    std::array<std::optional<CBrowseSocket>, 2> m_sockets; // IPv4, IPv6
    int m_iSocketError = 0;
    std::vector<std::uint8_t> m_buffer = std::vector<std::uint8_t>(65536);
};

} // namespace

BrowseResult BrowseServers(const std::vector<BrowseTarget>& targets, std::chrono::milliseconds wait,
                           const CInterfaceAddresses& interfaces)
{
    return CBrowse(targets, wait, interfaces).Run();
}

SQLRETURN CResolutionDriver::BrowseConnect(ConnectionState& connection, std::wstring_view /*connectionString*/,
                                           wchar_t* szOut, SQLINTEGER cchOutMax, SQLINTEGER* pcchOut)
{
    if (!connection.bBrowseCacheData || !connection.cachedBrowse) {
        const BrowseSettings settings = ReadBrowseSettings(Registry::LoadMachine());
        const CInterfaceAddresses interfaces = CInterfaceAddresses::Read();
        std::vector<std::wstring> notes;
        const std::vector<BrowseTarget> targets = settings.targetList
                                                      ? ResolveTargetList(*settings.targetList, interfaces, notes)
                                                      : BroadcastTargets(interfaces);
        BrowseResult result = BrowseServers(targets, settings.wait, interfaces);
        notes.insert(notes.end(), result.notes.begin(), result.notes.end());
        std::vector<DiagnosticRecord> records;
        for (std::wstring& strNote : notes)
            records.push_back({result.text ? L"01000" : L"08001", 0, std::move(strNote)});
        if (!result.text) {
            connection.pDiagnostics->insert(connection.pDiagnostics->end(), records.begin(), records.end());
            return SQL_ERROR;
        }
        connection.cachedBrowse = CachedBrowse{std::move(*result.text), std::move(records)};
    }
    connection.pDiagnostics->insert(connection.pDiagnostics->end(), connection.cachedBrowse->records.begin(),
                                    connection.cachedBrowse->records.end());
    const std::wstring& strText = connection.cachedBrowse->strText;
    const std::size_t cchCopied = cchOutMax > 0 ? std::min(strText.size(), static_cast<std::size_t>(cchOutMax) - 1) : 0;
    std::copy_n(strText.begin(), cchCopied, szOut);
    if (cchOutMax > 0)
        szOut[cchCopied] = L'\0';
    *pcchOut = static_cast<SQLINTEGER>(std::min<std::size_t>(strText.size(), 0x7FFFFFFF));
    if (!connection.bBrowseCacheData)
        connection.cachedBrowse.reset();
    return SQL_NEED_DATA;
}

} // namespace platform::browse
