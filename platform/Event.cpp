#include "platform/Event.h"

namespace platform {

void CAutoResetEvent::Set()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    m_signalled.notify_one();
}

void CAutoResetEvent::Reset()
{
    const std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

bool CAutoResetEvent::Wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    if (!m_signalled.wait_for(lock, timeout, [this] { return m_bSignalled; }))
        return false;
    m_bSignalled = false;
    return true;
}

} // namespace platform
