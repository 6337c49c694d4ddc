// The import through the substitute service on a private bus: the reports, the files, and the
// rows the service records; a service that is missing, or killed or restarted in the middle.

#include "Polling.h"
#include "Printers.h"
#include "RaisedError.h"
#include "ServiceBench.h"
#include "TestFolders.h"
#include "common/ComError.h"
#include "vaultfeed/ImportJob.h"
#include "vaultfeed/ImportRun.h"
#include "vaultfeed/ReadQuarantineFolder.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusService.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

using namespace Vaultfeed;
using namespace VaultfeedTests;
using namespace std::chrono_literals;

namespace {

const std::string kItem = "From: a@example.com\r\n\r\nhello\r\n";

class BusImport : public ::testing::Test
{
protected:
    ImportProgress Import(std::int32_t lMode, const std::filesystem::path& source)
    {
        CImportJob job(Bus::ConnectToService());
        EXPECT_TRUE(job.Start(lMode, source.string(), m_bench.Quarantine().string(), L"MAILNODE"));
        return WaitUntilDone(job);
    }

    // A source folder of two intact files, a damaged one, a folder and a file of another name.
    std::filesystem::path WriteSource()
    {
        const std::filesystem::path source = m_bench.Folder("source");
        std::filesystem::create_directory(source);
        WriteFile(source / "Q1.tmp", QuarantineFile(kItem, {"Gr\u00fc\u00dfe", "text/plain"}));
        WriteFile(source / "Q2.TMP", QuarantineFile(""));
        WriteFile(source / "Q3.tmp", DamagedQuarantineFile());
        std::filesystem::create_directory(source / "Q4.tmp");
        WriteFile(source / "notes.tmp", "not a quarantine file");
        return source;
    }

    CServiceBench m_bench;
};

const std::string kHedLine = "HED0002" + std::string(22, ' ');
const std::vector<std::string> kRows = {
    "Q1.tmp|MAILNODE|1|" + kHedLine + "|2|Gr\u00fc\u00dfe\\ntext/plain|" + std::to_string(kItem.size()),
    "Q2.TMP|MAILNODE|1|HED0000" + std::string(22, ' ') + "|0||0",
};

TEST_F(BusImport, RecordsEachFileOnceAndKnowsItOnTheNextRun)
{
    const std::filesystem::path source = WriteSource();
    EXPECT_EQ(
        Import(kModeCommandLine, source),
        (ImportProgress{true, 100, 0, L"4 files processed\r\n1 subfolders ignored\r\n2 files imported successfuly"}));
    EXPECT_EQ(m_bench.Rows(), kRows);
    // The damaged file's copy is gone again; nothing left the source folder.
    EXPECT_EQ(FolderEntries(m_bench.Quarantine()),
              (std::vector<std::string>{"Q1.tmp=" + testsupport::ReadFile(source / "Q1.tmp"),
                                        "Q2.TMP=" + testsupport::ReadFile(source / "Q2.TMP")}));
    EXPECT_EQ(FolderEntries(source).size(), 5u);

    EXPECT_EQ(Import(kModeCommandLine, source),
              (ImportProgress{true, 100, 1,
                              L"4 files processed\r\n1 subfolders ignored\r\n2 files are already in the database"}));
    EXPECT_EQ(m_bench.Rows(), kRows);

    // In the quarantine folder itself a damaged file is renamed.
    WriteFile(m_bench.Quarantine() / "Q5.tmp", DamagedQuarantineFile());
    EXPECT_EQ(
        Import(kModeQuarantineFolder, source),
        (ImportProgress{true, 100, 1,
                        L"3 files processed\r\n2 files are already in the database\r\n1 corrupted files have been "
                        L"renamed"}));
    EXPECT_TRUE(std::filesystem::exists(m_bench.Quarantine() / "Q5.tmp.bad"));
    EXPECT_EQ(m_bench.Rows(), kRows);
}

TEST_F(BusImport, TheRecordsOutliveTheService)
{
    const std::filesystem::path source = WriteSource();
    Import(kModeCommandLine, source);
    EXPECT_EQ(m_bench.StopService(SIGTERM), 0);
    m_bench.StartService();
    EXPECT_EQ(Import(kModeManualFolder, source),
              (ImportProgress{true, 100, 2,
                              L"4 files processed\r\n1 subfolders ignored\r\n2 files are already in the database\r\n1 "
                              L"files failed to import"}));
    EXPECT_EQ(m_bench.Rows(), kRows);
}

TEST_F(BusImport, ReadsTheQuarantineFolderFromTheServicesConfiguration)
{
    EXPECT_EQ(ReadQuarantineFolder(*Bus::ConnectToService()), WidePath(m_bench.Quarantine()));
}

TEST_F(BusImport, AMissingServiceOrBusFailsEveryCreation)
{
    const std::filesystem::path source = WriteSource();
    m_bench.StopService(SIGTERM);
    const std::string strNoService =
        "Com Error:0x80040154,'Class not registered','org.vestrel.Velmora.Quarantine1','Could not get owner of "
        "name 'org.vestrel.Velmora': no such name'";
    EXPECT_EQ(ComErrorOf([] { ReadQuarantineFolder(*Bus::ConnectToService()); }), strNoService);
    EXPECT_EQ(Import(kModeCommandLine, source), (ImportProgress{true, 0, 2, NarrowToWide(strNoService)}));

    ::setenv(Bus::kBusAddressVariable, "unix:path=/nonexistent/bus", 1);
    EXPECT_EQ(ComErrorOf([] { ReadQuarantineFolder(*Bus::ConnectToService()); }),
              "Com Error:0x800706ba,'The RPC server is unavailable.','org.vestrel.Velmora.Quarantine1','Cannot reach "
              "unix:path=/nonexistent/bus: No such file or directory'");
    EXPECT_TRUE(FolderEntries(m_bench.Quarantine()).empty());
}

// The run is reported to the test before each file: the service is killed (and then restarted, or
// not) just before the third, whatever the load of the machine, and every file from there on fails
// on its own: a restarted service is not the one whose session the run holds.
TEST_F(BusImport, AServiceThatDisappearsOrRestartsFailsTheFilesThatFollow)
{
    const std::string strFile = QuarantineFile("item");
    for (const int iRun : {0, 1}) {
        const bool bRestart = iRun == 1;
        SCOPED_TRACE(bRestart ? "restarted" : "gone");
        const std::filesystem::path source = m_bench.Folder("source" + std::to_string(iRun));
        std::filesystem::create_directory(source);
        for (int i = 0; i < 20; ++i)
            WriteFile(source / QuarantineName(iRun * 100 + i), strFile);
        if (bRestart)
            m_bench.StartService();

        const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService();
        platform::CAutoResetEvent cancel;
        int nFilesReached = 0;
        ImportProgress done;
        RunImport({kModeCommandLine, source.string(), m_bench.Quarantine().string(), L"MAILNODE"}, *pService, cancel,
                  [&](ImportProgress progress) {
                      if (progress.bDone) {
                          done = std::move(progress);
                      } else if (++nFilesReached == 3) {
                          m_bench.StopService(SIGKILL);
                          if (bRestart)
                              m_bench.StartService();
                      }
                  });
        EXPECT_EQ(done,
                  (ImportProgress{true, 100, 2,
                                  L"20 files processed\r\n18 files failed to import\r\n2 files imported successfuly"}));
        EXPECT_EQ(m_bench.Rows().size(), 2u * (iRun + 1));
        // The copies of the files that failed stay, as a failed question leaves them, each whole.
        const std::vector<std::string> copies = FolderEntries(m_bench.Quarantine());
        EXPECT_EQ(copies.size(), 20u * (iRun + 1));
        for (const std::string& strCopy : copies)
            EXPECT_TRUE(strCopy.ends_with("=" + strFile)) << strCopy;
    }
}

TEST_F(BusImport, StartAndStopFromAnotherThreadRepeatedly)
{
    const std::filesystem::path source = WriteSource();
    CImportJob job(Bus::ConnectToService());
    std::thread stopper([&] {
        for (int i = 0; i < 20; ++i) {
            std::this_thread::sleep_for(1ms);
            job.Stop();
        }
    });
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(job.Start(kModeCommandLine, source.string(), m_bench.Quarantine().string(), L"MAILNODE"));
    stopper.join();
    job.Stop();
    EXPECT_TRUE(job.Start(kModeCommandLine, source.string(), m_bench.Quarantine().string(), L"MAILNODE"));
    EXPECT_EQ(WaitUntilDone(job).lPercent, 100);
    // Whichever run imported them, each file is recorded once.
    EXPECT_EQ(m_bench.Rows().size(), 2u);
}

} // namespace
