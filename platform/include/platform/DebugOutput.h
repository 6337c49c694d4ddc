#pragma once
// The debugger output: lines a program sends to whoever watches it. Here they go to syslog at
// debug priority under the program's name; tests put a capturing sink in its place.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// UTF-8 text, as every line of the system is by the time it is written.
void OutputDebugStringA(std::string_view text);

class IDebugOutputSink
{
public:
    virtual ~IDebugOutputSink() = default;
    virtual void Write(std::string_view utf8Text) = 0;
};

// Collects every text sent to the debugger output while it lives.
class CCapturedDebugOutput : public IDebugOutputSink
{
public:
    CCapturedDebugOutput();
    ~CCapturedDebugOutput() override;
    CCapturedDebugOutput(const CCapturedDebugOutput&) = delete;
    CCapturedDebugOutput& operator=(const CCapturedDebugOutput&) = delete;

    void Write(std::string_view utf8Text) override;
    std::vector<std::string> Texts() const;

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_texts;
    IDebugOutputSink* m_pPrevious;
};

} // namespace platform
