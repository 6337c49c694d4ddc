#pragma once
// An import run by a window: the job, and the timer that looks at its progress every 150 ms, as the
// wizard's progress page and the unattended dialog both run it.

#include "vaultfeed/ImportJob.h"
#include "vaultfeed/ImportReport.h"

#include <QTimer>

#include <functional>
#include <memory>

namespace Vaultfeed {

class CImportMonitor
{
public:
    using PercentChanged = std::function<void(int iPercent)>;
    using Finished = std::function<void(const ImportReport& report)>;

    CImportMonitor(std::shared_ptr<IServiceConnection> pService, PercentChanged onPercentChanged, Finished onFinished);
    CImportMonitor(const CImportMonitor&) = delete;
    CImportMonitor& operator=(const CImportMonitor&) = delete;

    // Starts the run and the timer; false when the run could not start.
    bool Start(const ImportParameters& params);
    // Stops the timer and the run, and returns when the worker has ended. A run that was not done
    // ends without a report.
    void Stop();
    // Started, and not done yet.
    bool IsImporting() const { return m_bImporting; }

private:
    void OnTimer();

    // The job outlives the timer: destroying the monitor stops the timer first, then the worker.
    CImportJob m_job;
    QTimer m_timer;
    PercentChanged m_onPercentChanged;
    Finished m_onFinished;
    int m_iPercent = 0;
    bool m_bImporting = false;
};

} // namespace Vaultfeed
