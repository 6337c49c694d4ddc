// The import job's threads: a run on its worker, published progress, and Start and Stop from any
// thread at any time. The sanitizer build runs these too.

#include "vaultfeed/ImportJob.h"
#include "FakeService.h"
#include "Polling.h"
#include "Printers.h"
#include "TestFolders.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <thread>

using namespace Vaultfeed;
using namespace VaultfeedTests;

namespace {

class ImportJob : public ::testing::Test
{
protected:
    ImportJob()
    {
        std::filesystem::create_directory(Source());
        std::filesystem::create_directory(Quarantine());
        for (const char* szName : {"Q1.tmp", "Q2.tmp", "Q3.tmp"})
            WriteFile(Source() / szName, szName);
    }

    std::filesystem::path Source() const { return m_scratch.Path() / "source"; }
    std::filesystem::path Quarantine() const { return m_scratch.Path() / "quarantine"; }

    bool Start(CImportJob& job) const
    {
        return job.Start(kModeManualFolder, Source().string(), Quarantine().string(), L"NODE");
    }

    std::shared_ptr<CFakeService> m_pService = std::make_shared<CFakeService>();

private:
    testsupport::ScratchFolder m_scratch;
};

const ImportProgress kThreeImported{true, 100, 0, L"3 files processed\r\n3 files imported successfuly"};

TEST_F(ImportJob, RunsOnItsWorkerAndPublishesTheFinalReport)
{
    CImportJob job(m_pService);
    EXPECT_EQ(job.GetProgress(), ImportProgress{});
    ASSERT_TRUE(Start(job));
    EXPECT_EQ(WaitUntilDone(job), kThreeImported);
    job.Stop();
    job.Stop();
    EXPECT_EQ(job.GetProgress(), kThreeImported);
    EXPECT_EQ(FolderEntries(Quarantine()),
              (std::vector<std::string>{"Q1.tmp=Q1.tmp", "Q2.tmp=Q2.tmp", "Q3.tmp=Q3.tmp"}));
}

TEST_F(ImportJob, TellsItsOwnerOfTheEndOnceTheReportIsPublished)
{
    std::mutex mutex;
    std::condition_variable told;
    std::vector<ImportProgress> progressWhenTold;
    CImportJob* pJob = nullptr;
    CImportJob job(m_pService, [&] {
        const std::lock_guard lock(mutex);
        progressWhenTold.push_back(pJob->GetProgress());
        told.notify_all();
    });
    pJob = &job;
    ASSERT_TRUE(Start(job));
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(told.wait_for(lock, testsupport::kProgramHangGuard, [&] { return !progressWhenTold.empty(); }));
    }
    job.Stop();
    EXPECT_EQ(progressWhenTold, std::vector<ImportProgress>{kThreeImported});
}

TEST_F(ImportJob, StartClearsTheEarlierRunsProgress)
{
    CImportJob job(m_pService);
    ASSERT_TRUE(Start(job));
    EXPECT_EQ(WaitUntilDone(job), kThreeImported);
    // The second run ends with another report; it would find the first one done at once if Start
    // left it in place.
    m_pService->AnswerKnown(L"Q1.tmp", {S_OK, platform::Variant::Int32(1)});
    ASSERT_TRUE(Start(job));
    EXPECT_EQ(
        WaitUntilDone(job),
        (ImportProgress{true, 100, 1,
                        L"3 files processed\r\n1 files are already in the database\r\n2 files imported successfuly"}));
}

TEST_F(ImportJob, EndingAJobWaitsForTheCallInProgressAndNoCallFollows)
{
    // The worker is held in its first call while another thread ends the job; the call is let go
    // once that thread is on its way to end it. When the end returns, the call has returned, and
    // no call comes after: the job's destruction later finds nothing left to stop.
    struct EndCase
    {
        const char* szName;
        std::function<void(std::unique_ptr<CImportJob>&)> end;
    };
    const EndCase cases[] = {
        {"Stop", [](std::unique_ptr<CImportJob>& pJob) { pJob->Stop(); }},
        {"destruction", [](std::unique_ptr<CImportJob>& pJob) { pJob.reset(); }},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.szName);
        std::mutex mutex;
        std::condition_variable changed;
        bool bInCall = false;
        bool bEnding = false;
        bool bReleased = false;
        m_pService = std::make_shared<CFakeService>();
        m_pService->OnImportFile([&](const std::wstring&) {
            std::unique_lock lock(mutex);
            bInCall = true;
            changed.notify_all();
            changed.wait(lock, [&] { return bReleased; });
            bInCall = false;
        });
        auto pJob = std::make_unique<CImportJob>(m_pService);
        ASSERT_TRUE(Start(*pJob));
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return bInCall; });
        }
        std::vector<std::wstring> callsAtEnd;
        std::thread ender([&] {
            {
                const std::lock_guard lock(mutex);
                bEnding = true;
            }
            changed.notify_all();
            c.end(pJob);
            const std::lock_guard lock(mutex);
            EXPECT_FALSE(bInCall) << "the job ended while its worker was still in a call";
            callsAtEnd = m_pService->FileCalls();
        });
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return bEnding; });
            bReleased = true;
        }
        changed.notify_all();
        ender.join();
        pJob.reset();
        EXPECT_EQ(m_pService->FileCalls(), callsAtEnd);
    }
}

TEST_F(ImportJob, StopInterruptsTheCallThatWaitsForTheService)
{
    // A service that answers only once it is interrupted: without the interruption Stop would
    // wait for ever.
    std::mutex mutex;
    std::condition_variable changed;
    bool bInCall = false;
    bool bInterrupted = false;
    m_pService->OnImportFile([&](const std::wstring&) {
        std::unique_lock lock(mutex);
        bInCall = true;
        changed.notify_all();
        changed.wait(lock, [&] { return bInterrupted; });
    });
    m_pService->OnInterrupt([&] {
        const std::lock_guard lock(mutex);
        bInterrupted = true;
        changed.notify_all();
    });
    CImportJob job(m_pService);
    ASSERT_TRUE(Start(job));
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return bInCall; });
    }
    job.Stop();
    EXPECT_TRUE(bInterrupted);
    EXPECT_EQ(m_pService->FileCalls().size(), 2u) << "no call follows the interrupted one";
}

TEST_F(ImportJob, StartAndStopFromOtherThreadsRepeatedlyNeverHang)
{
    CImportJob job(m_pService);
    std::atomic<bool> bRunning = true;
    std::thread starter([&] {
        for (int i = 0; i < 100; ++i)
            EXPECT_TRUE(Start(job));
    });
    std::thread stopper([&] {
        for (int i = 0; i < 100; ++i)
            job.Stop();
    });
    std::thread poller([&] {
        while (bRunning) {
            const ImportProgress progress = job.GetProgress();
            EXPECT_GE(progress.lPercent, 0);
            EXPECT_LE(progress.lPercent, 100);
        }
    });
    starter.join();
    stopper.join();
    bRunning = false;
    poller.join();
    // Whatever state that left, a new run from here goes to its end.
    job.Stop();
    ASSERT_TRUE(Start(job));
    EXPECT_EQ(WaitUntilDone(job), kThreeImported);
}

} // namespace
