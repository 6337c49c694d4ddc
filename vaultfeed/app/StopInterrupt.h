#pragma once
// While it lives, a stop signal interrupts whatever waits for the service, on any thread: the
// start-up's reading of the configuration and a job's calls alike. The signal stays pending for
// the form to see and end the run.

#include "vaultfeed/ServiceInterfaces.h"

#include "common/HandleOwners.h"

#include <csignal>
#include <thread>

namespace Vaultfeed {

class CInterruptOnStopSignal
{
public:
    // The stop signals must be blocked in every thread.
    CInterruptOnStopSignal(IServiceConnection& service, const sigset_t& stopSignals);
    CInterruptOnStopSignal(const CInterruptOnStopSignal&) = delete;
    CInterruptOnStopSignal& operator=(const CInterruptOnStopSignal&) = delete;
    ~CInterruptOnStopSignal();

private:
    void Watch(IServiceConnection& service) const;

    CAutoFileHandle m_signals; // a signalfd, polled and never read: the signal stays pending
    CAutoFileHandle m_end;     // an eventfd that ends the watch
    std::thread m_watcher;
};

} // namespace Vaultfeed
