#include "ImportMonitor.h"

#include <utility>

namespace Vaultfeed {
namespace {

constexpr int kPollMilliseconds = 150;

} // namespace

CImportMonitor::CImportMonitor(std::shared_ptr<IServiceConnection> pService, PercentChanged onPercentChanged,
                               Finished onFinished)
    : m_job(std::move(pService)), m_onPercentChanged(std::move(onPercentChanged)), m_onFinished(std::move(onFinished))
{
    m_timer.setInterval(kPollMilliseconds);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { OnTimer(); });
}

bool CImportMonitor::Start(const ImportParameters& params)
{
    m_iPercent = 0;
    if (!m_job.Start(params.lMode, params.strSourceFolder, params.strQuarantineFolder, params.strNetworkName))
        return false;
    m_timer.start();
    m_bImporting = true;
    return true;
}

void CImportMonitor::Stop()
{
    m_timer.stop();
    m_job.Stop();
    m_bImporting = false;
}

void CImportMonitor::OnTimer()
{
    const ImportProgress progress = m_job.GetProgress();
    if (progress.bDone) {
        m_timer.stop();
        m_bImporting = false;
        m_onFinished(ImportReport{progress.lSeverity, progress.strMessage});
        return;
    }
    if (progress.lPercent != m_iPercent) {
        m_iPercent = progress.lPercent;
        m_onPercentChanged(m_iPercent);
    }
}

} // namespace Vaultfeed
