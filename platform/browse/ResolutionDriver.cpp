#include "ResolutionDriver.h"

#include "common/HandleOwners.h"
#include "common/StringUtils.h"
#include "platform/browse/ResolutionProtocol.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <unordered_set>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

namespace platform::browse {
namespace {

constexpr std::size_t kMaxNotes = 32;

std::wstring SystemErrorText(int iErrno)
{
    return NarrowToWide(std::strerror(iErrno));
}

std::wstring AddressText(const sockaddr_in& address)
{
    char szAddress[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, szAddress, sizeof szAddress);
    return FormatW(L"%ls:%u", NarrowToWide(szAddress).c_str(), static_cast<unsigned>(ntohs(address.sin_port)));
}

// Only the computers asked may answer: from a broadcast's port, any computer of its network.
bool IsAnswerOfABroadcast(const std::vector<BrowseTarget>& targets, const sockaddr_in& source)
{
    return std::any_of(targets.begin(), targets.end(), [&source](const BrowseTarget& target) {
        return target.bBroadcast && target.address.sin_port == source.sin_port;
    });
}

// What a browse gathers, within its limits. The names keep the order of the sockets they came
// through, that is of the computers asked, whichever answered first. A name already gathered is
// not taken again: a computer that answers the same list over and over would otherwise fill the
// list's whole length with it, and the caller's work and trace with each copy.
class CAnswers
{
public:
    void Add(std::size_t iSocket, const ResolutionAnswer& answer)
    {
        for (const std::wstring& strRefusal : answer.refusals)
            Note(strRefusal);
        if (m_namesBySocket.size() <= iSocket)
            m_namesBySocket.resize(iSocket + 1);
        for (const std::wstring& strName : answer.names) {
            if (m_gathered.contains(strName))
                continue;
            if (m_cchText + strName.size() + 1 > kMaxBrowseTextLength) {
                ++m_nOverLimit;
                continue;
            }
            m_cchText += strName.size() + 1;
            m_gathered.insert(strName);
            m_namesBySocket[iSocket].push_back(strName);
        }
    }
    void Note(std::wstring strNote)
    {
        if (m_notes.size() < kMaxNotes)
            m_notes.push_back(std::move(strNote));
        else
            ++m_nNotesLeftOut;
    }
    void CountStranger() { ++m_nStrangers; }
    void CountMalformed() { ++m_nMalformed; }

    BrowseResult Result()
    {
        if (m_nStrangers > 0)
            Note(FormatW(L"%zu answers from computers that were not asked were left out.", m_nStrangers));
        if (m_nMalformed > 0)
            Note(FormatW(L"%zu answers that were no server resolution answers were left out.", m_nMalformed));
        if (m_nOverLimit > 0)
            Note(FormatW(L"%zu instances beyond the browse list's limit were left out.", m_nOverLimit));
        if (m_nNotesLeftOut > 0)
            m_notes.push_back(FormatW(L"%zu more notes were left out.", m_nNotesLeftOut));
        std::vector<std::wstring> names;
        for (std::vector<std::wstring>& socketNames : m_namesBySocket)
            std::move(socketNames.begin(), socketNames.end(), std::back_inserter(names));
        return {BrowseText(names), std::move(m_notes)};
    }

private:
    std::vector<std::vector<std::wstring>> m_namesBySocket;
    std::unordered_set<std::wstring> m_gathered;
    std::size_t m_cchText = 0;
    std::vector<std::wstring> m_notes;
    std::size_t m_nStrangers = 0;
    std::size_t m_nMalformed = 0;
    std::size_t m_nOverLimit = 0;
    std::size_t m_nNotesLeftOut = 0;
};

// The sockets of one browse: one connected to each computer asked by name, whose answers the
// system lets through only from that computer and whose refusal it reports; and one for the
// broadcasts, which any computer of their networks may answer.
struct BrowseSocket
{
    CAutoFileHandle socket;
    bool bBroadcast = false;
    bool bSettled = false; // a computer asked by name has answered, or cannot be reached
};

std::optional<BrowseSocket> OpenBrowseSocket(bool bBroadcast, CAnswers& answers)
{
    BrowseSocket browseSocket{CAutoFileHandle(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)),
                              bBroadcast, false};
    if (!browseSocket.socket)
        return std::nullopt;
    const int iEnable = 1;
    if (bBroadcast && ::setsockopt(browseSocket.socket.Get(), SOL_SOCKET, SO_BROADCAST, &iEnable, sizeof iEnable) != 0)
        answers.Note(L"Broadcasts cannot be sent: " + SystemErrorText(errno));
    return browseSocket;
}

// Reads what one socket has. A datagram larger than the buffer is cut, and then fails to parse
// as any other answer that lies about its length.
void ReadAnswers(BrowseSocket& browseSocket, std::size_t iSocket, const std::vector<BrowseTarget>& targets,
                 std::vector<std::uint8_t>& buffer, CAnswers& answers)
{
    for (;;) {
        sockaddr_in source{};
        socklen_t cbSource = sizeof source;
        const ssize_t cbReceived = ::recvfrom(browseSocket.socket.Get(), buffer.data(), buffer.size(), 0,
                                              reinterpret_cast<sockaddr*>(&source), &cbSource);
        if (cbReceived < 0) {
            // Nothing more for now; or, for a computer asked by name, its refusal.
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                browseSocket.bSettled = true;
            return;
        }
        if (browseSocket.bBroadcast && !IsAnswerOfABroadcast(targets, source)) {
            answers.CountStranger();
            continue;
        }
        browseSocket.bSettled = true;
        if (const auto answer = ParseResolutionAnswer(std::span(buffer.data(), static_cast<std::size_t>(cbReceived))))
            answers.Add(iSocket, *answer);
        else
            answers.CountMalformed();
    }
}

// Once every computer asked by name has answered or refused, and no broadcast is out, the browse
// ends when the answers stop coming: a computer answers for all its instances at once.
constexpr std::chrono::milliseconds kQuietAfterLastAnswer{50};

void GatherAnswers(std::vector<BrowseSocket>& sockets, const std::vector<BrowseTarget>& targets,
                   std::chrono::steady_clock::time_point deadline, CAnswers& answers)
{
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
        const bool bAllSettled = std::all_of(sockets.begin(), sockets.end(), [](const BrowseSocket& browseSocket) {
            return !browseSocket.bBroadcast && browseSocket.bSettled;
        });
        const auto now = std::chrono::steady_clock::now();
        const auto until = bAllSettled ? std::min(deadline, now + kQuietAfterLastAnswer) : deadline;
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(until - now);
        if (remaining.count() <= 0)
            return;
        std::vector<pollfd> descriptors;
        for (const BrowseSocket& browseSocket : sockets)
            descriptors.push_back({browseSocket.socket.Get(), POLLIN, 0});
        const int iReady = ::poll(descriptors.data(), descriptors.size(), static_cast<int>(remaining.count()));
        if (iReady < 0 && errno != EINTR) {
            answers.Note(L"Waiting for answers failed: " + SystemErrorText(errno));
            return;
        }
        if (iReady == 0 && bAllSettled)
            return;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (descriptors[i].revents != 0)
                ReadAnswers(sockets[i], i, targets, buffer, answers);
        }
    }
}

} // namespace

BrowseResult BrowseServers(const std::vector<BrowseTarget>& targets, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    CAnswers answers;
    std::vector<BrowseSocket> sockets;
    std::optional<std::size_t> broadcastSocket;
    const std::uint8_t request = CLNT_BCAST_EX;
    for (const BrowseTarget& target : targets) {
        if (target.bBroadcast && broadcastSocket) {
            if (::sendto(sockets[*broadcastSocket].socket.Get(), &request, sizeof request, 0,
                         reinterpret_cast<const sockaddr*>(&target.address), sizeof target.address) < 0)
                answers.Note(L"The browse could not ask " + AddressText(target.address) + L": " +
                             SystemErrorText(errno));
            continue;
        }
        auto browseSocket = OpenBrowseSocket(target.bBroadcast, answers);
        if (!browseSocket)
            return {std::nullopt, {L"No socket for the browse: " + SystemErrorText(errno)}};
        const int iSocket = browseSocket->socket.Get();
        const auto* pAddress = reinterpret_cast<const sockaddr*>(&target.address);
        const bool bSent = target.bBroadcast
                               ? ::sendto(iSocket, &request, sizeof request, 0, pAddress, sizeof target.address) >= 0
                               : ::connect(iSocket, pAddress, sizeof target.address) == 0 &&
                                     ::send(iSocket, &request, sizeof request, 0) >= 0;
        if (!bSent) {
            answers.Note(L"The browse could not ask " + AddressText(target.address) + L": " + SystemErrorText(errno));
            continue;
        }
        if (target.bBroadcast)
            broadcastSocket = sockets.size();
        sockets.push_back(std::move(*browseSocket));
    }
    if (!sockets.empty())
        GatherAnswers(sockets, targets, deadline, answers);
    return answers.Result();
}

SQLRETURN CResolutionDriver::BrowseConnect(ConnectionState& connection, std::wstring_view /*connectionString*/,
                                           wchar_t* szOut, SQLINTEGER cchOutMax, SQLINTEGER* pcchOut)
{
    if (!connection.bBrowseCacheData || !connection.cachedBrowse) {
        const BrowseSettings settings = ReadBrowseSettings(Registry::LoadMachine());
        std::vector<std::wstring> notes;
        const std::vector<BrowseTarget> targets =
            settings.targetList ? ResolveTargetList(*settings.targetList, notes) : BroadcastTargets();
        BrowseResult result = BrowseServers(targets, settings.wait);
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
