// The client of the service against peers that are not the service: a bus that never speaks, a
// peer that answers with the wrong types or never; and a stop that interrupts the wait for any of
// them. Each is a clear failure, never a hang.

#include "BusPeers.h"
#include "Printers.h"
#include "RaisedError.h"
#include "TestFolders.h"
#include "common/ComError.h"
#include "common/StringUtils.h"
#include "testsupport/PrivateBus.h"
#include "vaultfeed/ImportJob.h"
#include "vaultfeed/ImportRun.h"
#include "vaultfeed/ReadQuarantineFolder.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusService.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

using namespace Vaultfeed;
using namespace VaultfeedTests;
using namespace std::chrono_literals;

namespace {

constexpr Bus::BusTimeouts kLongWaits{std::chrono::minutes(10), std::chrono::minutes(10)};

std::string ReadFolderError(IServiceConnection& service)
{
    return ComErrorOf([&] { ReadQuarantineFolder(service); });
}

class BusPeer : public ::testing::Test
{
protected:
    BusPeer()
    {
        std::filesystem::create_directory(Source());
        std::filesystem::create_directory(Quarantine());
        WriteFile(Source() / "Q1.tmp", "a file");
        ::setenv(Bus::kBusAddressVariable, m_bus.Address().c_str(), 1);
    }
    ~BusPeer() override { ::unsetenv(Bus::kBusAddressVariable); }

    std::filesystem::path Source() const { return m_scratch.Path() / "source"; }
    std::filesystem::path Quarantine() const { return m_scratch.Path() / "quarantine"; }

    ImportProgress Import(IServiceConnection& service) const
    {
        platform::CAutoResetEvent cancel;
        ImportProgress done;
        RunImport({kModeCommandLine, Source().string(), Quarantine().string(), L"MAILNODE"}, service, cancel,
                  [&](ImportProgress progress) {
                      if (progress.bDone)
                          done = std::move(progress);
                  });
        return done;
    }

    testsupport::ScratchFolder m_scratch;
    testsupport::CPrivateBus m_bus;
};

TEST_F(BusPeer, ABusThatNeverSpeaksFailsConnectingAtTheDeadline)
{
    const CSilentSocket silent(m_scratch.Path() / "silent");
    ::setenv(Bus::kBusAddressVariable, silent.Address().c_str(), 1);
    const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService({300ms, 300ms});
    const std::string strTimedOut = "Com Error:0x8001011f,'This operation returned because the timeout period "
                                    "expired.','org.vestrel.Velmora.Quarantine1','" +
                                    silent.Address() + " did not answer within 300 ms.'";
    EXPECT_EQ(ReadFolderError(*pService), strTimedOut);
    EXPECT_EQ(Import(*pService), (ImportProgress{true, 0, 2, NarrowToWide(strTimedOut)}));
    EXPECT_TRUE(FolderEntries(Quarantine()).empty());
}

TEST_F(BusPeer, AnInterruptionEndsConnectingToABusThatNeverSpeaks)
{
    CSilentSocket silent(m_scratch.Path() / "silent");
    ::setenv(Bus::kBusAddressVariable, silent.Address().c_str(), 1);
    const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService(kLongWaits);
    std::future<std::string> error = std::async(std::launch::async, [&] { return ReadFolderError(*pService); });
    silent.WaitForAClient();
    pService->Interrupt();
    EXPECT_EQ(error.get(), "Com Error:0x80004004,'Operation aborted','org.vestrel.Velmora.Quarantine1','Connecting "
                           "to " +
                               silent.Address() + " was interrupted.'");
}

TEST_F(BusPeer, AnswersOfTheWrongTypesAreMalformedReplies)
{
    const CWrongPeer peer(m_bus.Address(), PeerAnswers::WrongTypes);
    const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService();
    EXPECT_EQ(ReadFolderError(*pService),
              "Com Error:0x80010009,'The data packet with the marshalled parameter data is incorrect.',"
              "'org.vestrel.Velmora.Quarantine1','Unexpected reply signature: got \"i\", expected \"v(ay)\"'");
    EXPECT_EQ(Import(*pService), (ImportProgress{true, 0, 2, L"Error 0x80010009"}));
    EXPECT_TRUE(FolderEntries(Quarantine()).empty());
}

TEST_F(BusPeer, APeerThatNeverAnswersFailsEachCallAtItsTimeout)
{
    const CWrongPeer peer(m_bus.Address(), PeerAnswers::Never);
    const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService({10s, 300ms});
    EXPECT_EQ(ReadFolderError(*pService),
              "Com Error:0x8001011f,'This operation returned because the timeout period expired.',"
              "'org.vestrel.Velmora.Quarantine1','Method call timed out'");
    EXPECT_EQ(Import(*pService), (ImportProgress{true, 0, 2, L"Error 0x8001011f"}));
    EXPECT_TRUE(FolderEntries(Quarantine()).empty());
}

TEST_F(BusPeer, AnInterruptionEndsACallThatWaitsForItsAnswer)
{
    CWrongPeer peer(m_bus.Address(), PeerAnswers::Never);
    const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService(kLongWaits);
    std::future<std::string> error = std::async(std::launch::async, [&] { return ReadFolderError(*pService); });
    peer.WaitForCall("Get");
    pService->Interrupt();
    EXPECT_EQ(error.get(), "Com Error:0x80004004,'Operation aborted','org.vestrel.Velmora.Quarantine1','The call "
                           "was interrupted.'");
    // The connections made afterwards are not interrupted: they wait for their answers.
    EXPECT_EQ(ReadFolderError(*Bus::ConnectToService({10s, 300ms})),
              "Com Error:0x8001011f,'This operation returned because the timeout period expired.',"
              "'org.vestrel.Velmora.Quarantine1','Method call timed out'");
}

TEST_F(BusPeer, StoppingAJobEndsItsWaitForAPeerThatNeverAnswers)
{
    CWrongPeer peer(m_bus.Address(), PeerAnswers::Never);
    CImportJob job(Bus::ConnectToService(kLongWaits));
    ASSERT_TRUE(job.Start(kModeCommandLine, Source().string(), Quarantine().string(), L"MAILNODE"));
    peer.WaitForCall("StartImport");
    job.Stop();
    EXPECT_TRUE(FolderEntries(Quarantine()).empty());
}

} // namespace
