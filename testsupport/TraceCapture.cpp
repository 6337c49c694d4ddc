#include "testsupport/TraceCapture.h"

#include "platform/Registry.h"
#include "trace/ICDebug.h"

#include <algorithm>

ICDebug& TraceLog()
{
    static ICDebug log(L"Tests", platform::Registry::FromText("[HKEY_LOCAL_MACHINE\\Tests]\n"
                                                              "\"OutputToFile\"=dword:00000000\n"));
    return log;
}

namespace testsupport {

std::vector<std::string> TraceCapture::Messages() const
{
    std::vector<std::string> messages;
    for (const std::string& strLine : m_output.Texts()) {
        // The message follows the time column and its two blanks, then the indentation.
        std::size_t start = strLine.find("  ", 40);
        start = start == std::string::npos ? 0 : strLine.find_first_not_of(' ', start);
        std::string strMessage = strLine.substr(start);
        while (!strMessage.empty() && (strMessage.back() == '\n' || strMessage.back() == '\r'))
            strMessage.pop_back();
        messages.push_back(strMessage);
    }
    return messages;
}

std::string TraceCapture::FileColumnOf(const std::string& strMessage) const
{
    const std::vector<std::string> messages = Messages();
    const auto found = std::find(messages.begin(), messages.end(), strMessage);
    if (found == messages.end())
        return {};
    return m_output.Texts()[static_cast<std::size_t>(found - messages.begin())].substr(0, 20);
}

} // namespace testsupport
