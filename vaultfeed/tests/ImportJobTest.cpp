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
#include <chrono>
#include <condition_variable>
#include <thread>

using namespace Vaultfeed;
using namespace VaultfeedTests;
using namespace std::chrono_literals;

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
        return job.Start(kModeManualFolder, WidePath(Source()), WidePath(Quarantine()), L"NODE");
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

TEST_F(ImportJob, StopWaitsForACallInProgressAndLeavesTheJobIdle)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool bInCall = false;
    bool bReleased = false;
    m_pService->OnImportFile([&](const std::wstring&) {
        std::unique_lock lock(mutex);
        bInCall = true;
        changed.notify_all();
        changed.wait(lock, [&] { return bReleased; });
    });
    CImportJob job(m_pService);
    ASSERT_TRUE(Start(job));
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return bInCall; });
    }
    std::atomic<bool> bStopped = false;
    std::thread stopper([&] {
        job.Stop();
        bStopped = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(bStopped) << "Stop returned while the worker was still in a call";
    {
        const std::lock_guard lock(mutex);
        bReleased = true;
    }
    changed.notify_all();
    stopper.join();
    // The worker has ended: nothing changes any more.
    const ImportProgress stopped = job.GetProgress();
    const std::size_t nCalls = m_pService->FileCalls().size();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(job.GetProgress(), stopped);
    EXPECT_EQ(m_pService->FileCalls().size(), nCalls);
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

TEST_F(ImportJob, DestroyingAJobStopsItsRun)
{
    std::atomic<int> nImports = 0;
    m_pService->OnImportFile([&](const std::wstring&) {
        ++nImports;
        std::this_thread::sleep_for(5ms);
    });
    {
        CImportJob job(m_pService);
        ASSERT_TRUE(Start(job));
        while (nImports == 0)
            std::this_thread::sleep_for(1ms);
    }
    // The worker ended with the job: no call comes after its destruction.
    const int nAtDestruction = nImports;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(nImports, nAtDestruction);
}

} // namespace
