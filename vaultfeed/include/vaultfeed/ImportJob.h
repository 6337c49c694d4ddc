#pragma once
// An import run on a worker thread, its progress published under a lock, and a way to stop it.
// One job belongs to one progress page or dialog, which polls GetProgress.

#include "platform/Event.h"
#include "vaultfeed/ImportRun.h"
#include "vaultfeed/ServiceInterfaces.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Vaultfeed {

class CImportJob
{
public:
    // onDone, when given, is called on the worker as soon as a run's final report is published (not
    // for a run stopped before it), so that its owner need not poll for the end.
    explicit CImportJob(std::shared_ptr<IServiceConnection> pService, std::function<void()> onDone = {});
    CImportJob(const CImportJob&) = delete;
    CImportJob& operator=(const CImportJob&) = delete;
    ~CImportJob();

    // Stops any earlier run, then starts one on a new worker thread with the progress cleared.
    // False when the thread could not be started.
    bool Start(std::int32_t lMode, std::string strSourceFolder, std::string strQuarantineFolder,
               std::wstring strNetworkName);
    // Asks the worker to stop before its next entry and waits until it has ended. Safe to call
    // at any time, from any thread, any number of times.
    void Stop();

    // A consistent copy of the progress; a stopped run keeps its last values.
    ImportProgress GetProgress() const;
    void SetProgress(ImportProgress progress);

private:
    // With the control lock held.
    void StopWorker();
    void RunWorker(const ImportParameters& params);

    const std::shared_ptr<IServiceConnection> m_pService;
    const std::function<void()> m_onDone;
    // Serialises Start and Stop, which own the worker and the cancel event.
    std::mutex m_controlLock;
    platform::CAutoResetEvent m_cancel;
    std::thread m_worker;
    // Guards the progress; the worker holds it only to copy the progress in.
    mutable std::mutex m_lock;
    ImportProgress m_progress;
};

} // namespace Vaultfeed
