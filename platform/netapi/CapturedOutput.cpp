#include "CapturedOutput.h"

#include "common/StringUtils.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::netapi {
namespace {

// The most of a library's text that is kept: enough for any message, bounded whatever it prints.
constexpr std::size_t kLongestCapture = 64 * 1024;

void CloseIfOpen(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

CCapturedOutput::CCapturedOutput()
{
    // What the program itself wrote before the call goes where it was meant to; a library's text
    // that stdio keeps in the streams' buffers lands in the capture (Release flushes again).
    std::fflush(stdout);
    std::fflush(stderr);
    m_fdCapture = ::memfd_create("vestrel-library-output", MFD_CLOEXEC);
    m_fdSavedOutput = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    m_fdSavedError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (m_fdCapture < 0 || m_fdSavedOutput < 0 || m_fdSavedError < 0 || ::dup2(m_fdCapture, STDOUT_FILENO) < 0 ||
        ::dup2(m_fdCapture, STDERR_FILENO) < 0) {
        // Without a capture the text is thrown away rather than shown: /dev/null in its place.
        const int fdNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (fdNull >= 0 && m_fdSavedOutput >= 0 && m_fdSavedError >= 0) {
            ::dup2(fdNull, STDOUT_FILENO);
            ::dup2(fdNull, STDERR_FILENO);
        }
        if (fdNull >= 0)
            ::close(fdNull);
        CloseIfOpen(m_fdCapture);
    }
}

CCapturedOutput::~CCapturedOutput()
{
    Release();
}

std::string CCapturedOutput::Release()
{
    if (m_fdSavedOutput < 0 && m_fdSavedError < 0)
        return {};
    std::fflush(stdout);
    std::fflush(stderr);
    if (m_fdSavedOutput >= 0)
        ::dup2(m_fdSavedOutput, STDOUT_FILENO);
    if (m_fdSavedError >= 0)
        ::dup2(m_fdSavedError, STDERR_FILENO);
    CloseIfOpen(m_fdSavedOutput);
    CloseIfOpen(m_fdSavedError);
    std::string strText;
    if (m_fdCapture >= 0) {
        strText.resize(kLongestCapture);
        const ssize_t cbRead = ::pread(m_fdCapture, strText.data(), strText.size(), 0);
        strText.resize(cbRead > 0 ? static_cast<std::size_t>(cbRead) : 0);
    }
    CloseIfOpen(m_fdCapture);
    return strText;
}

void NotePrinted(std::vector<std::wstring>& notes, std::wstring_view library, std::string_view text)
{
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!line.empty())
            notes.push_back(std::wstring(library) + L" printed: " + EscapeControlCharacters(NarrowToWide(line)));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

} // namespace platform::netapi
