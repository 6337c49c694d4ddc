#include "Deadline.h"

#include <condition_variable>
#include <mutex>

namespace platform::ado::odbc {

CDeadline::CDeadline(std::vector<Step> steps)
    : m_thread([this, steps = std::move(steps)](const std::stop_token& stop) {
          const auto start = std::chrono::steady_clock::now();
          std::mutex lock;
          std::condition_variable_any wakeUp;
          for (const Step& step : steps) {
              std::unique_lock guard(lock);
              // Woken early only by the stop request: the call ended in time.
              wakeUp.wait_until(guard, stop, start + step.after, [] { return false; });
              if (stop.stop_requested())
                  return;
              m_bPassed = true;
              step.action();
          }
      })
{
}

} // namespace platform::ado::odbc
