#pragma once
// A deadline for one call into the driver. The driver restarts its own timers whenever a byte
// arrives, so a server that trickles its answer would hold the call for ever; the deadline runs
// the steps that break the call off at their times, on a thread of its own, unless the call ended
// first and the deadline went with it.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace platform::ado::odbc {

class CDeadline
{
public:
    struct Step
    {
        std::chrono::milliseconds after; // from the deadline's construction
        std::function<void()> action;    // runs beside the call it breaks off: it must be safe there
    };

    // The steps in the order of their times.
    explicit CDeadline(std::vector<Step> steps);
    // Waits for a step that is running, and runs no other.
    ~CDeadline() = default;
    CDeadline(const CDeadline&) = delete;
    CDeadline& operator=(const CDeadline&) = delete;

    // Whether the first step has run: the call was still going when its time was up.
    bool Passed() const noexcept { return m_bPassed.load(); }

private:
    std::atomic<bool> m_bPassed{false};
    std::jthread m_thread; // last, so that it is stopped and joined before the rest goes
};

} // namespace platform::ado::odbc
