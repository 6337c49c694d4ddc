#include "StopInterrupt.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace Vaultfeed {

CInterruptOnStopSignal::CInterruptOnStopSignal(IServiceConnection& service, const sigset_t& stopSignals)
    : m_signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC)), m_end(::eventfd(0, EFD_CLOEXEC))
{
    if (m_signals && m_end)
        m_watcher = std::thread(&CInterruptOnStopSignal::Watch, this, std::ref(service));
}

CInterruptOnStopSignal::~CInterruptOnStopSignal()
{
    if (!m_watcher.joinable())
        return;
    const std::uint64_t uOne = 1;
    [[maybe_unused]] const ssize_t cbWritten = ::write(m_end.Get(), &uOne, sizeof uOne);
    m_watcher.join();
}

void CInterruptOnStopSignal::Watch(IServiceConnection& service) const
{
    pollfd fds[2] = {{m_signals.Get(), POLLIN, 0}, {m_end.Get(), POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0 && errno == EINTR) {
    }
    if ((fds[0].revents & POLLIN) != 0)
        service.Interrupt();
}

} // namespace Vaultfeed
