#include "platform/DebugOutput.h"

#include <atomic>
#include <sys/stat.h>
#include <syslog.h>

namespace platform {
namespace {

class CSyslogSink : public IDebugOutputSink
{
public:
    void Write(std::string_view utf8Text) override
    {
        // Without a syslog socket, the C library would try to connect again for every line.
        static const bool bSyslogListens = HasSyslogSocket();
        if (!bSyslogListens)
            return;
        // syslog ends its records itself.
        while (!utf8Text.empty() && (utf8Text.back() == '\n' || utf8Text.back() == '\r'))
            utf8Text.remove_suffix(1);
        // Without openlog, the ident is the program's name: the library must not change the
        // ident its host program chose.
        syslog(LOG_USER | LOG_DEBUG, "%.*s", static_cast<int>(utf8Text.size()), utf8Text.data());
    }

private:
    static bool HasSyslogSocket()
    {
        struct stat info
        {
        };
        return ::stat(_PATH_LOG, &info) == 0 && S_ISSOCK(info.st_mode);
    }
};

CSyslogSink g_syslogSink;
std::atomic<IDebugOutputSink*> g_pSink{&g_syslogSink};

} // namespace

void OutputDebugStringA(std::string_view text)
{
    g_pSink.load()->Write(text);
}

CCapturedDebugOutput::CCapturedDebugOutput() : m_pPrevious(g_pSink.exchange(this)) {}

CCapturedDebugOutput::~CCapturedDebugOutput()
{
    g_pSink.store(m_pPrevious);
}

void CCapturedDebugOutput::Write(std::string_view utf8Text)
{
    const std::lock_guard guard(m_lock);
    m_texts.emplace_back(utf8Text);
}

std::vector<std::string> CCapturedDebugOutput::Texts() const
{
    const std::lock_guard guard(m_lock);
    return m_texts;
}

} // namespace platform
