#include "trace/ICDebug.h"

#include "LogFile.h"
#include "common/StringUtils.h"
#include "platform/ComApartment.h"
#include "platform/DebugOutput.h"
#include "platform/Registry.h"
#include "platform/TempFile.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <ctime>
#include <cwchar>
#include <filesystem>
#include <pthread.h>
#include <span>
#include <string_view>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr std::size_t kMaxCallerText = 1018;
constexpr int kMaxIndentLevels = 50;
constexpr std::wstring_view kIndentBlanks =
    L"                                                                                                    ";
static_assert(kIndentBlanks.size() == 2 * kMaxIndentLevels);

std::atomic<std::uint64_t> g_uNextInstance{1};

// Counts the forks: a child asks for its identifiers again.
std::atomic<unsigned> g_uForks{0};

struct CallerIdentifiers
{
    int iProcess;
    int iThread;
};

// The process and thread identifiers of the calling thread, asked once per thread: a line costs
// no system call for them.
CallerIdentifiers Caller()
{
    static const int iRegistered = ::pthread_atfork(nullptr, nullptr, [] { ++g_uForks; });
    static_cast<void>(iRegistered);
    thread_local CallerIdentifiers t_ids{};
    thread_local unsigned t_uForks = ~0u;
    if (const unsigned uForks = g_uForks.load(std::memory_order_relaxed); t_uForks != uForks) {
        t_ids = {static_cast<int>(::getpid()), static_cast<int>(::gettid())};
        t_uForks = uForks;
    }
    return t_ids;
}

struct LocalTime
{
    int iYear, iMonth, iDay, iHour, iMinute, iSecond, iMillisecond;
};

LocalTime Now()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return {parts.tm_year + 1900,
            parts.tm_mon + 1,
            parts.tm_mday,
            parts.tm_hour,
            parts.tm_min,
            parts.tm_sec,
            static_cast<int>(now.tv_nsec / 1'000'000)};
}

// The text after the last path separator of a source path.
std::string_view SourceFileColumn(const char* szSourceFile)
{
    const std::string_view path(szSourceFile ? szSourceFile : "");
    const auto separator = path.find_last_of("\\/");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

// Encodes wide text as UTF-8 into a fixed buffer; false when it does not fit.
bool EncodeUtf8(std::wstring_view text, char* pOut, std::size_t cbOut, std::size_t& cbWritten)
{
    cbWritten = 0;
    for (const wchar_t wc : text) {
        char bytes[4];
        std::size_t n = UTIL::STR::EncodeUtf8(static_cast<char32_t>(wc), bytes);
        if (n == 0)
            bytes[0] = '?', n = 1;
        if (cbWritten + n > cbOut)
            return false;
        std::copy(bytes, bytes + n, pOut + cbWritten);
        cbWritten += n;
    }
    return true;
}

void ReportFailure(const char* szText) noexcept
{
    try {
        platform::OutputDebugStringA(szText);
    } catch (...) {
        // The trace log has nowhere left to report to.
    }
}

} // namespace

ICDebug::ICDebug(const wchar_t* wszRegistrySubkey) : ICDebug(wszRegistrySubkey, platform::Registry::LoadMachine()) {}

ICDebug::ICDebug(const wchar_t* wszRegistrySubkey, const platform::Registry& registry) : m_uInstance(g_uNextInstance++)
{
    try {
        ReadSettingsAndOpenFile(wszRegistrySubkey, registry);
    } catch (...) {
        ReportFailure("ERR: Exception in ICDebug()");
    }
}

ICDebug::~ICDebug()
{
    if (m_bOutputToFile && m_hFile)
        ::fsync(m_hFile.Get());
}

void ICDebug::ReadSettingsAndOpenFile(const wchar_t* wszRegistrySubkey, const platform::Registry& registry)
{
    std::wstring strTitle = L"Trace file";
    bool bNameFromRegistry = false;
    platform::RegistryKey key;
    if (wszRegistrySubkey && registry.OpenKey(wszRegistrySubkey, key) == platform::ERROR_SUCCESS) {
        strTitle = key.ReadString(L"Info", 1023).value_or(strTitle);
        if (const auto baseName = key.ReadString(L"TraceFileName", 255)) {
            const LocalTime now = Now();
            m_strFileName = FormatW(L"%ls-%d-%02d-%02d-%02d-%03d.log", baseName->c_str(), static_cast<int>(::getpid()),
                                    now.iHour, now.iMinute, now.iSecond, now.iMillisecond);
            bNameFromRegistry = true;
        }
        m_bOutputToFile = key.ReadDword(L"OutputToFile").value_or(1) != 0;
        m_dwLogLevel = key.ReadDword(L"LogLevel").value_or(0);
        m_bWantIndent = key.ReadDword(L"WantIndent").value_or(0) != 0;
        m_bOutputToDebugger = key.ReadDword(L"OutputToDebugger").value_or(1) != 0;
        m_bWantLogicalThread = key.ReadDword(L"WantLogicalThread").value_or(0) != 0;
    }
    if (!m_bOutputToFile)
        return;

    if (bNameFromRegistry) {
        m_hFile = OpenNamedLogFile(std::filesystem::path(WideToNarrow(m_strFileName)));
    } else {
        std::filesystem::path path;
        if (platform::CreateTempFile(platform::GetTempPath(), L"ICD", path, m_hFile, kLogFileFlags) !=
            platform::ERROR_SUCCESS)
            return;
        m_strFileName = NarrowToWide(path.native());
    }
    if (!m_hFile)
        return;
    WriteHeader(strTitle);
}

void ICDebug::WriteHeader(const std::wstring& strTitle)
{
    const LocalTime now = Now();
    const std::wstring strHeader =
        FormatW(L"%ls\r\nTrace File Name : %ls\r\nLogLevel        : %d\r\nTime            : %02d/%02d/%02d "
                L"%02d:%02d:%02d.%03d\r\n\r\n%ls",
                strTitle.c_str(), EscapeControlCharacters(std::wstring_view(m_strFileName)).c_str(),
                static_cast<int>(m_dwLogLevel), now.iDay, now.iMonth, now.iYear, now.iHour, now.iMinute, now.iSecond,
                now.iMillisecond,
                m_bWantLogicalThread ? L"File Name            PrId    ThrdId  LTId                                     "
                                       L" LnNo     Time          Message\r\n"
                                     : L"File Name            PrId    ThrdId  LnNo     Time          Message\r\n");
    WriteToFile(WideToNarrow(strHeader));
}

int& ICDebug::Depth() noexcept
{
    // One depth per thread and per trace log: a program and the library it loads keep their own.
    thread_local std::unordered_map<std::uint64_t, int> t_depths;
    return t_depths[m_uInstance];
}

void ICDebug::IncTab() noexcept
{
    try {
        ++Depth();
    } catch (...) {
        ReportFailure("ERR: Exception in IncTab()");
    }
}

void ICDebug::DecTab() noexcept
{
    try {
        --Depth();
    } catch (...) {
        ReportFailure("ERR: Exception in DecTab()");
    }
}

void ICDebug::LogInfo(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszFormat, ...) noexcept
{
    va_list args;
    va_start(args, wszFormat);
    LogFormatted(szSourceFile, iLine, dwLevel, L"INF: ", wszFormat, args);
    va_end(args);
}

void ICDebug::LogWarning(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszFormat, ...) noexcept
{
    va_list args;
    va_start(args, wszFormat);
    LogFormatted(szSourceFile, iLine, dwLevel, L"WAR: ", wszFormat, args);
    va_end(args);
}

void ICDebug::LogError(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszFormat, ...) noexcept
{
    va_list args;
    va_start(args, wszFormat);
    LogFormatted(szSourceFile, iLine, dwLevel, L"ERR: ", wszFormat, args);
    va_end(args);
}

void ICDebug::LogFormatted(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszPrefix,
                           const wchar_t* wszFormat, va_list args) noexcept
{
    if (dwLevel < m_dwLogLevel || !HasOutput())
        return;
    // Five characters of prefix and at most kMaxCallerText of the caller's text.
    wchar_t wszMessage[5 + kMaxCallerText + 1];
    std::wcsncpy(wszMessage, wszPrefix, 6);
    // A message that does not fit is cut, as the C library leaves it; text that cannot be
    // formatted at all (an unencodable narrow argument) is dropped.
    errno = 0;
    const int iResult = std::vswprintf(wszMessage + 5, kMaxCallerText + 1, wszFormat, args);
    if (iResult < 0 && errno != 0)
        return;
    wszMessage[5 + kMaxCallerText] = L'\0';
    LogMessage(szSourceFile, iLine, wszMessage);
}

namespace {

// Texts from outside (a server's error message, a path, a name from the network) may hold line
// ends or terminal commands: written as \xNN, a control character can neither end a line early
// nor forge the next one. The message is cut where the buffer ends.
const wchar_t* WithControlCharactersEscaped(const wchar_t* wszMessage, std::span<wchar_t> escaped)
{
    const auto isControl = [](wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); };
    if (!wszMessage || std::none_of(wszMessage, wszMessage + std::wcslen(wszMessage), isControl))
        return wszMessage;
    std::size_t cchEscaped = 0;
    for (const wchar_t* p = wszMessage; *p && cchEscaped + 4 < escaped.size(); ++p) {
        if (isControl(*p)) {
            std::swprintf(&escaped[cchEscaped], 5, L"\\x%02x", static_cast<unsigned>(*p));
            cchEscaped += 4;
        } else {
            escaped[cchEscaped++] = *p;
        }
    }
    escaped[cchEscaped] = L'\0';
    return escaped.data();
}

} // namespace

void ICDebug::LogMessage(const char* szSourceFile, int iLine, const wchar_t* wszMessage) noexcept
{
    try {
        wchar_t wszEscaped[5 + kMaxCallerText + 1];
        wszMessage = WithControlCharactersEscaped(wszMessage, wszEscaped);
        const int iDepth = m_bWantIndent ? std::clamp(Depth(), 0, kMaxIndentLevels) : 0;
        std::wstring_view logicalThread;
        thread_local std::wstring t_strLogicalThreadColumn;
        if (m_bWantLogicalThread) {
            if (t_strLogicalThreadColumn.empty()) {
                platform::GUID guid{};
                platform::CoGetCurrentLogicalThreadId(&guid);
                t_strLogicalThreadColumn = L" lt:" + platform::StringFromGUID(guid);
            }
            logicalThread = t_strLogicalThreadColumn;
        }
        const std::string_view fileColumn = SourceFileColumn(szSourceFile).substr(0, 20);
        wchar_t wszFileColumn[21];
        std::swprintf(wszFileColumn, 21, L"%-20.*s", static_cast<int>(fileColumn.size()), fileColumn.data());

        const CallerIdentifiers caller = Caller();

        const std::lock_guard guard(m_lock);
        const LocalTime now = Now();
        const int iLength = std::swprintf(
            m_wszLine.data(), m_wszLine.size(), L"%ls pr:%04d th:%04d%.*ls ln:%05d %02d:%02d:%02d.%03d  %.*ls%ls\r\n",
            wszFileColumn, caller.iProcess, caller.iThread, static_cast<int>(logicalThread.size()),
            logicalThread.data(), iLine, now.iHour, now.iMinute, now.iSecond, now.iMillisecond, 2 * iDepth,
            kIndentBlanks.data(), wszMessage ? wszMessage : L"");
        std::size_t cbLine = 0;
        if (iLength < 0 || !EncodeUtf8(std::wstring_view(m_wszLine.data(), static_cast<std::size_t>(iLength)),
                                       m_szNarrowLine.data(), m_szNarrowLine.size(), cbLine))
            return;
        // The same bytes for both outputs, converted once.
        const std::string_view line(m_szNarrowLine.data(), cbLine);
        if (m_bOutputToDebugger)
            platform::OutputDebugStringA(line);
        if (m_bOutputToFile && m_hFile)
            WriteToFile(line);
    } catch (...) {
        ReportFailure("ERR: Exception in LogMessage()");
    }
}

void ICDebug::WriteToFile(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t cbWritten = ::write(m_hFile.Get(), bytes.data(), bytes.size());
        if (cbWritten <= 0)
            return;
        bytes.remove_prefix(static_cast<std::size_t>(cbWritten));
    }
}
