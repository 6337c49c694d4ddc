#include "QuarantineService.h"

#include "ErrorReplies.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "vaultdump/QuarFileReader.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <array>
#include <sys/random.h>

namespace Velmorasvc {
namespace {

using namespace Vaultfeed::Bus;

// How much of a header is recorded: the lines of any real header, and no more than this of a
// hostile one.
constexpr std::size_t kHeaderKeptLength = 64 * 1024;
// How much of a file is read for its header: far more than any real header takes, and little
// enough that the answer never waits for the rest of a huge file.
constexpr std::uint64_t kHeaderReadLimit = 1024 * 1024;

bool IsDamagedHeader(HRESULT hr)
{
    return hr == E_INVALIDARG || hr == E_UNEXPECTED || hr == HRESULT_FROM_WIN32(platform::ERROR_HANDLE_EOF);
}

std::wstring WideFromUtf16(const std::u16string& strUnits)
{
    std::wstring strText;
    for (std::size_t i = 0; i < strUnits.size(); ++i) {
        const char32_t c = strUnits[i];
        const bool bPair = c >= 0xD800 && c < 0xDC00 && i + 1 < strUnits.size() && strUnits[i + 1] >= 0xDC00 &&
                           strUnits[i + 1] < 0xE000;
        strText.push_back(bPair ? static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (strUnits[++i] - 0xDC00))
                                : static_cast<wchar_t>(c));
    }
    return strText;
}

// A new session's path: random, so that no path is ever used twice, by this run or a later one.
std::optional<std::string> NewSessionPath()
{
    std::array<unsigned char, 16> id{};
    if (::getrandom(id.data(), id.size(), 0) != static_cast<ssize_t>(id.size()))
        return std::nullopt;
    std::string strPath(kSessionPathPrefix);
    for (const unsigned char c : id)
        strPath += FormatA("%02x", c);
    return strPath;
}

// The file name argument; 0 (the call answered) when it is not one bare name.
int ReadFileName(sd_bus_message* pCall, std::string& strName)
{
    const void* pBytes = nullptr;
    std::size_t cbName = 0;
    const int r = sd_bus_message_read_array(pCall, 'y', &pBytes, &cbName);
    if (r < 0)
        return r;
    strName.assign(static_cast<const char*>(pBytes), cbName);
    if (IsBareFileName(strName))
        return 1;
    const int rReply = ReplyError(pCall, kInvalidFileName,
                                  "\"" + PrintableName(strName) + "\" names no file of the quarantine folder.");
    return rReply < 0 ? rReply : 0;
}

// Answers an open or read failure of the file by what it means.
int ReplyReadFailure(sd_bus_message* pCall, const std::string& strName, HRESULT hr)
{
    const std::string strPrintable = PrintableName(strName);
    if (hr == HRESULT_FROM_WIN32(platform::ERROR_FILE_NOT_FOUND) ||
        hr == HRESULT_FROM_WIN32(platform::ERROR_PATH_NOT_FOUND))
        return ReplyError(pCall, kFileNotFound, strPrintable + " is not in the quarantine folder.", hr);
    if (hr == E_ACCESSDENIED)
        return ReplyError(pCall, kAccessDenied, strPrintable + " cannot be opened.", hr);
    return ReplyError(pCall, kReadFailed, strPrintable + " cannot be read.", hr);
}

} // namespace

CQuarantineService::CQuarantineService(CQuarantineDatabase& database, std::filesystem::path quarantineFolder,
                                       CImportGate* pGate)
    : m_database(database), m_quarantineFolder(std::move(quarantineFolder)), m_pGate(pGate)
{
}

int CQuarantineService::Serve(sd_bus* pBus)
{
    // Unprivileged: the bus's policy decides who may call, not a capability sd-bus would ask for
    // (at the price of a query of the caller's credentials on every call).
    static const sd_bus_vtable kVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("QuarantineFolder", "ay", GetFolder, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_METHOD_WITH_ARGS("StartImport", SD_BUS_NO_ARGS, SD_BUS_RESULT("o", session), StartImport,
                                SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_ARGS("EndImport", SD_BUS_ARGS("o", session), SD_BUS_NO_RESULT, EndImport,
                                SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_ARGS("IsFileKnown", SD_BUS_ARGS("ay", file_name), SD_BUS_RESULT("b", known), IsFileKnown,
                                SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_METHOD_WITH_ARGS("ImportFile", SD_BUS_ARGS("ay", file_name, "s", network_name, "o", session),
                                SD_BUS_RESULT("s", outcome), ImportFile, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_VTABLE_END,
    };
    sd_bus_slot* pSlot = nullptr;
    const int r = sd_bus_add_object_vtable(pBus, &pSlot, kObjectPath, kInterface, kVtable, this);
    m_object.reset(pSlot);
    return r;
}

int CQuarantineService::GetFolder(sd_bus*, const char*, const char*, const char*, sd_bus_message* pReply, void* pThis,
                                  sd_bus_error*)
{
    const std::string& strFolder = static_cast<CQuarantineService*>(pThis)->m_quarantineFolder.native();
    return sd_bus_message_append_array(pReply, 'y', strFolder.data(), strFolder.size());
}

int CQuarantineService::StartImport(sd_bus_message* pCall, void* pThis, sd_bus_error*)
{
    return static_cast<CQuarantineService*>(pThis)->StartImport(pCall);
}

int CQuarantineService::EndImport(sd_bus_message* pCall, void* pThis, sd_bus_error*)
{
    return static_cast<CQuarantineService*>(pThis)->EndImport(pCall);
}

int CQuarantineService::IsFileKnown(sd_bus_message* pCall, void* pThis, sd_bus_error*)
{
    return static_cast<CQuarantineService*>(pThis)->IsFileKnown(pCall);
}

int CQuarantineService::ImportFile(sd_bus_message* pCall, void* pThis, sd_bus_error*)
{
    return static_cast<CQuarantineService*>(pThis)->ImportFile(pCall);
}

int CQuarantineService::OnOwnerGone(sd_bus_track*, void* pThis)
{
    // Dropping the session drops its tracking, which must end here or the handler is called again.
    static_cast<CQuarantineService*>(pThis)->m_session.reset();
    return 0;
}

bool CQuarantineService::IsCallersSession(sd_bus_message* pCall, const char* szPath) const
{
    const char* szSender = sd_bus_message_get_sender(pCall);
    return m_session && szPath && szSender && m_session->strPath == szPath && m_session->strOwner == szSender;
}

int CQuarantineService::StartImport(sd_bus_message* pCall)
{
    if (m_session)
        return ReplyError(pCall, kImportInProgress, "An import session of " + m_session->strOwner + " is active.");
    const std::optional<std::string> strPath = NewSessionPath();
    if (!strPath)
        return ReplyError(pCall, kFailed, "No session identifier can be made.");
    Session session{*strPath, sd_bus_message_get_sender(pCall), 0, nullptr};
    try {
        session.lRunId = m_database.AddRun();
    } catch (...) {
        return ReplyCurrentException(pCall);
    }
    sd_bus_track* pTrack = nullptr;
    int r = sd_bus_track_new(sd_bus_message_get_bus(pCall), &pTrack, OnOwnerGone, this);
    if (r < 0)
        return r;
    session.track.reset(pTrack);
    // Watches the caller, and asks the bus once whether it is still there: a caller that left
    // before the watch began is not missed.
    if ((r = sd_bus_track_add_sender(pTrack, pCall)) < 0)
        return r;
    m_session = std::move(session);
    return sd_bus_reply_method_return(pCall, "o", m_session->strPath.c_str());
}

int CQuarantineService::EndImport(sd_bus_message* pCall)
{
    const char* szPath = nullptr;
    const int r = sd_bus_message_read_basic(pCall, 'o', &szPath);
    if (r < 0)
        return r;
    if (!IsCallersSession(pCall, szPath))
        return ReplyError(pCall, kNoSuchSession, std::string(szPath) + " is no import session of the caller.");
    m_session.reset();
    return sd_bus_reply_method_return(pCall, "");
}

int CQuarantineService::IsFileKnown(sd_bus_message* pCall)
{
    std::string strName;
    const int r = ReadFileName(pCall, strName);
    if (r <= 0)
        return r;
    try {
        return sd_bus_reply_method_return(pCall, "b", int{m_database.FindItem(NarrowToWide(strName)).has_value()});
    } catch (...) {
        return ReplyCurrentException(pCall);
    }
}

int CQuarantineService::ImportFile(sd_bus_message* pCall)
{
    std::string strName;
    int r = ReadFileName(pCall, strName);
    if (r <= 0)
        return r;
    const char* szNetworkName = nullptr;
    const char* szSession = nullptr;
    if ((r = sd_bus_message_read(pCall, "so", &szNetworkName, &szSession)) < 0)
        return r;
    if (m_pGate)
        m_pGate->Pass(strName);
    if (!IsCallersSession(pCall, szSession))
        return ReplyError(pCall, kNoSuchSession, std::string(szSession) + " is no import session of the caller.");
    try {
        const std::wstring strFileName = NarrowToWide(strName);
        if (m_database.FindItem(strFileName))
            return ReplyError(pCall, kAlreadyImported, PrintableName(strName) + " has been imported before.");
        Vaultdump::CQuarFileReader reader;
        HRESULT hr = reader.Open((m_quarantineFolder / strName).c_str(), true);
        if (FAILED(hr))
            return ReplyReadFailure(pCall, strName, hr);
        reader.LimitHeaderBytes(kHeaderReadLimit);
        std::vector<std::u16string> lines;
        hr = reader.ReadHeader(lines, kHeaderKeptLength);
        if (IsDamagedHeader(hr))
            return sd_bus_reply_method_return(pCall, "s", std::string(kOutcomeDamaged).c_str());
        if (FAILED(hr))
            return ReplyReadFailure(pCall, strName, hr);
        QuarantineItem item{
            strFileName, NarrowToWide(szNetworkName), m_session->lRunId, WideFromUtf16(lines.front()), {}, 0};
        for (std::size_t i = 1; i < lines.size(); ++i)
            item.headerLines.push_back(WideFromUtf16(lines[i]));
        reader.GetContentLength(&item.cbContent);
        m_database.AddItem(item);
        return sd_bus_reply_method_return(pCall, "s", std::string(kOutcomeImported).c_str());
    } catch (...) {
        return ReplyCurrentException(pCall);
    }
}

} // namespace Velmorasvc
