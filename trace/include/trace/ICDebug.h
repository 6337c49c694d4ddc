#pragma once
// The trace log: lines from every traced function, written according to settings read once from
// a registry key to a log file, to the debugger output, to both or to neither. No call into it
// ever fails its caller.

#include "common/HResult.h"
#include "common/HandleOwners.h"

#include <array>
#include <cstdarg>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {
class Registry;
}

// Message levels the system uses.
constexpr DWORD TRACE_ENTRY_EXIT = 11;
constexpr DWORD TRACE_DETAIL = 20;
constexpr DWORD TRACE_NORMAL = 60;
constexpr DWORD TRACE_FAILURE = 90;

class ICDebug
{
public:
    // Reads the settings below HKEY_LOCAL_MACHINE\wszRegistrySubkey (may be null) and opens the
    // log file.
    explicit ICDebug(const wchar_t* wszRegistrySubkey);
    // The same with the settings read from the given registry.
    ICDebug(const wchar_t* wszRegistrySubkey, const platform::Registry& registry);
    virtual ~ICDebug();
    ICDebug(const ICDebug&) = delete;
    ICDebug& operator=(const ICDebug&) = delete;

    void LogMessage(const char* szSourceFile, int iLine, const wchar_t* wszMessage) noexcept;
    void LogInfo(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszFormat, ...) noexcept;
    void LogWarning(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszFormat, ...) noexcept;
    void LogError(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszFormat, ...) noexcept;

    // The calling thread's nesting depth, which indents its lines.
    void IncTab() noexcept;
    void DecTab() noexcept;

    // The log file in use; empty when there is none.
    const std::wstring& FileName() const noexcept { return m_strFileName; }

private:
    void ReadSettingsAndOpenFile(const wchar_t* wszRegistrySubkey, const platform::Registry& registry);
    void WriteHeader(const std::wstring& strTitle);
    void LogFormatted(const char* szSourceFile, int iLine, DWORD dwLevel, const wchar_t* wszPrefix,
                      const wchar_t* wszFormat, va_list args) noexcept;
    void WriteToFile(std::string_view bytes);
    int& Depth() noexcept;
    // Whether a line goes anywhere: with both outputs off, nothing is formatted.
    bool HasOutput() const noexcept { return m_bOutputToDebugger || (m_bOutputToFile && m_hFile); }

    std::wstring m_strFileName;
    DWORD m_dwLogLevel = 0;
    bool m_bWantIndent = false;
    bool m_bOutputToDebugger = true;
    CAutoFileHandle m_hFile;
    bool m_bOutputToFile = true;
    std::mutex m_lock;
    bool m_bWantLogicalThread = false;
    const std::uint64_t m_uInstance; // tells this log's nesting depths from other logs'

    // Used only under the lock, so that a line costs no allocation.
    std::array<wchar_t, 2048> m_wszLine{};
    std::array<char, 2048 * 4> m_szNarrowLine{};
};

// The trace log of the deliverable being built: each deliverable defines it once.
ICDebug& TraceLog();

#define TRACE_INFO(level, ...) TraceLog().LogInfo(__FILE__, __LINE__, (level), __VA_ARGS__)
#define TRACE_WARNING(level, ...) TraceLog().LogWarning(__FILE__, __LINE__, (level), __VA_ARGS__)
#define TRACE_ERROR(level, ...) TraceLog().LogError(__FILE__, __LINE__, (level), __VA_ARGS__)
