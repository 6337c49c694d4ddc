#include "vaultfeed/ImportJob.h"

#include "platform/ComApartment.h"
#include "vaultfeed/ImportReport.h"

#include <system_error>
#include <utility>

namespace Vaultfeed {

CImportJob::CImportJob(std::shared_ptr<IServiceConnection> pService, std::function<void()> onDone)
    : m_pService(std::move(pService)), m_onDone(std::move(onDone))
{
}

CImportJob::~CImportJob()
{
    Stop();
}

bool CImportJob::Start(std::int32_t lMode, std::string strSourceFolder, std::string strQuarantineFolder,
                       std::wstring strNetworkName)
{
    const std::lock_guard control(m_controlLock);
    StopWorker();
    SetProgress({});
    m_cancel.Reset();
    try {
        m_worker = std::thread(&CImportJob::RunWorker, this,
                               ImportParameters{lMode, std::move(strSourceFolder), std::move(strQuarantineFolder),
                                                std::move(strNetworkName)});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CImportJob::Stop()
{
    const std::lock_guard control(m_controlLock);
    StopWorker();
}

void CImportJob::StopWorker()
{
    if (!m_worker.joinable())
        return;
    m_cancel.Set();
    // A worker waiting for the service would see the event only once the call returned.
    m_pService->Interrupt();
    m_worker.join();
}

ImportProgress CImportJob::GetProgress() const
{
    const std::lock_guard lock(m_lock);
    return m_progress;
}

void CImportJob::SetProgress(ImportProgress progress)
{
    const std::lock_guard lock(m_lock);
    m_progress = std::move(progress);
}

void CImportJob::RunWorker(const ImportParameters& params)
{
    try {
        const platform::CComApartment apartment(platform::COINIT_APARTMENTTHREADED, true);
        RunImport(params, *m_pService, m_cancel, [this](ImportProgress progress) { SetProgress(std::move(progress)); });
    } catch (...) {
        // Even the failure report could not be made (memory ran out): end as an error without text,
        // so that no one waits for a report that never comes.
        const std::lock_guard lock(m_lock);
        m_progress.bDone = true;
        m_progress.lPercent = 0;
        m_progress.lSeverity = kSeverityError;
        m_progress.strMessage.clear();
    }
    if (m_onDone && GetProgress().bDone)
        m_onDone();
}

} // namespace Vaultfeed
