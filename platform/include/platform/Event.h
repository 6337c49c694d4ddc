#pragma once
// An auto-reset event, as Windows has it: Set leaves it signalled until one wait consumes the
// signal, and a wait that finds it signalled returns at once.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class CAutoResetEvent
{
public:
    CAutoResetEvent() = default;
    CAutoResetEvent(const CAutoResetEvent&) = delete;
    CAutoResetEvent& operator=(const CAutoResetEvent&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within the timeout (0: only test it); the signal is then
    // consumed. False on a time-out.
    bool Wait(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_signalled;
    bool m_bSignalled = false;
};

} // namespace platform
