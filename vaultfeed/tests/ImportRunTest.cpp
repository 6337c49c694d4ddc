// One import run against the in-process service: the progress it reports, the report it ends
// with, what it asks the service, and the files it leaves in both folders.

#include "vaultfeed/ImportRun.h"
#include "FakeService.h"
#include "Printers.h"
#include "TestFolders.h"
#include "testsupport/RunProgram.h"

#include "common/HandleOwners.h"
#include "platform/Win32Error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/file.h>
#include <vector>

using namespace Vaultfeed;
using namespace VaultfeedTests;
using platform::Variant;

namespace {

// The two folders of a run and the service it talks to.
class CRunBench
{
public:
    CRunBench()
    {
        std::filesystem::create_directory(Source());
        std::filesystem::create_directory(Quarantine());
    }

    std::filesystem::path Source() const { return m_scratch.Path() / "source"; }
    std::filesystem::path Quarantine() const { return m_scratch.Path() / "quarantine"; }

    // Runs the import on this thread and returns every progress it reported.
    std::vector<ImportProgress> Run(std::int32_t lMode)
    {
        std::vector<ImportProgress> reports;
        RunImport({lMode, Source().string(), Quarantine().string(), L"NODE"}, m_service, m_cancel,
                  [&](ImportProgress progress) { reports.push_back(std::move(progress)); });
        return reports;
    }

    CFakeService m_service;
    platform::CAutoResetEvent m_cancel;

private:
    testsupport::ScratchFolder m_scratch;
};

ImportProgress Done(std::int32_t lSeverity, std::wstring strMessage, std::int32_t lPercent = 100)
{
    return {true, lPercent, lSeverity, std::move(strMessage)};
}

struct Scenario
{
    const char* szName;
    std::int32_t lMode;
    std::function<void(CRunBench&)> setup;
    ImportProgress expected;
    std::vector<std::string> sourceAfter;
    std::vector<std::string> quarantineAfter;
};

const Variant kCorrupted = Variant::Int32(1);

TEST(ImportRun, EndsWithTheReportOfWhatHappenedToEachFile)
{
    const std::vector<Scenario> scenarios = {
        {"no entry is named like a quarantine file",
         kModeCommandLine,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "readme.txt", "r");
             WriteFile(bench.Source() / "xQ1.tmp", "x");
             WriteFile(bench.Source() / "Q1.tmpx", "y");
         },
         Done(1, L"No quarantine file has been found.", 0),
         {"Q1.tmpx=y", "readme.txt=r", "xQ1.tmp=x"},
         {}},
        {"an empty folder",
         kModeManualFolder,
         [](CRunBench&) {},
         Done(1, L"No quarantine file has been found.", 0),
         {},
         {}},
        {"names match in any case; a folder named like a file is ignored",
         kModeCommandLine,
         [](CRunBench& bench) {
             std::filesystem::create_directory(bench.Source() / "Q1.tmp");
             WriteFile(bench.Source() / "q2.TMP", "two");
             WriteFile(bench.Source() / "Q.tmp", "short");
         },
         Done(0, L"3 files processed\r\n1 subfolders ignored\r\n2 files imported successfuly"),
         {"Q.tmp=short", "Q1.tmp/", "q2.TMP=two"},
         {"Q.tmp=short", "q2.TMP=two"}},
        {"one of three files is already in the database: its copy stays",
         kModeCommandLine,
         [](CRunBench& bench) {
             for (const char* szName : {"Q1.tmp", "Q2.tmp", "Q3.tmp"}) {
                 WriteFile(bench.Source() / szName, szName);
             }
             bench.m_service.AnswerKnown(L"Q2.tmp", {S_OK, Variant::Int32(7)});
         },
         Done(1, L"3 files processed\r\n1 files are already in the database\r\n2 files imported successfuly"),
         {"Q1.tmp=Q1.tmp", "Q2.tmp=Q2.tmp", "Q3.tmp=Q3.tmp"},
         {"Q1.tmp=Q1.tmp", "Q2.tmp=Q2.tmp", "Q3.tmp=Q3.tmp"}},
        {"pipes and dangling links fail to copy; links lead to what they name",
         kModeCommandLine,
         [](CRunBench& bench) {
             MakeFifo(bench.Source() / "Q1.tmp");
             std::filesystem::create_symlink(bench.Source() / "missing", bench.Source() / "Q2.tmp");
             WriteFile(bench.Source() / "item", "linked");
             std::filesystem::create_symlink(bench.Source() / "item", bench.Source() / "Q3.tmp");
             std::filesystem::create_directory(bench.Source() / "folder");
             std::filesystem::create_directory_symlink(bench.Source() / "folder", bench.Source() / "Q4.tmp");
         },
         Done(2,
              L"4 files processed\r\n1 subfolders ignored\r\n2 files failed to copy\r\n1 files imported successfuly"),
         {"Q1.tmp|", "Q2.tmp@", "Q3.tmp@", "Q4.tmp@", "folder/", "item=linked"},
         {"Q3.tmp=linked"}},
        {"a file already in place is never overwritten, and still imported",
         kModeManualFolder,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "Q1.tmp", "new");
             WriteFile(bench.Quarantine() / "Q1.tmp", "old");
         },
         Done(0, L"1 files processed\r\n1 files imported successfuly"),
         {"Q1.tmp=new"},
         {"Q1.tmp=old"}},
        {"in the quarantine folder a damaged file is renamed, over an earlier .bad",
         kModeQuarantineFolder,
         [](CRunBench& bench) {
             WriteFile(bench.Quarantine() / "Q1.tmp", "damaged");
             WriteFile(bench.Quarantine() / "Q1.tmp.bad", "earlier");
             WriteFile(bench.Quarantine() / "Q2.tmp", "fine");
             WriteFile(bench.Source() / "Q3.tmp", "not walked");
             bench.m_service.AnswerImport(L"Q1.tmp", {E_INVALIDARG, kCorrupted});
         },
         Done(1, L"2 files processed\r\n1 corrupted files have been renamed\r\n1 files imported successfuly"),
         {"Q3.tmp=not walked"},
         {"Q1.tmp.bad=damaged", "Q2.tmp=fine"}},
        {"a damaged file that cannot be renamed fails to import and stays",
         kModeQuarantineFolder,
         [](CRunBench& bench) {
             WriteFile(bench.Quarantine() / "Q1.tmp", "damaged");
             std::filesystem::create_directory(bench.Quarantine() / "Q1.tmp.bad");
             WriteFile(bench.Quarantine() / "Q1.tmp.bad" / "inside", "i");
             bench.m_service.AnswerImport(L"Q1.tmp", {E_INVALIDARG, kCorrupted});
         },
         Done(2, L"1 files processed\r\n1 files failed to import"),
         {},
         {"Q1.tmp.bad/", "Q1.tmp=damaged"}},
        {"a damaged file chosen by hand: its copy is removed and it counts as failed",
         kModeManualFolder,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "Q1.tmp", "damaged");
             bench.m_service.AnswerImport(L"Q1.tmp", {E_INVALIDARG, kCorrupted});
         },
         Done(2, L"1 files processed\r\n1 files failed to import"),
         {"Q1.tmp=damaged"},
         {}},
        {"a damaged file in an unattended run: its copy is removed and it counts nowhere",
         kModeCommandLine,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "Q1.tmp", "damaged");
             bench.m_service.AnswerImport(L"Q1.tmp", {E_INVALIDARG, kCorrupted});
         },
         Done(0, L"1 files processed"),
         {"Q1.tmp=damaged"},
         {}},
        {"a damaged file already in place in an unattended run is renamed there",
         kModeCommandLine,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "Q1.tmp", "source");
             WriteFile(bench.Quarantine() / "Q1.tmp", "in place");
             bench.m_service.AnswerImport(L"Q1.tmp", {E_INVALIDARG, kCorrupted});
         },
         Done(1, L"1 files processed\r\n1 corrupted files have been renamed"),
         {"Q1.tmp=source"},
         {"Q1.tmp.bad=in place"}},
        {"an import that fails for another reason removes the copy and counts",
         kModeCommandLine,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "Q1.tmp", "one");
             WriteFile(bench.Source() / "Q2.tmp", "two");
             bench.m_service.AnswerImport(L"Q1.tmp", {E_FAIL, {}});
             bench.m_service.AnswerImport(L"Q2.tmp", {E_FAIL, Variant::Int32(2)});
         },
         Done(2, L"2 files processed\r\n2 files failed to import"),
         {"Q1.tmp=one", "Q2.tmp=two"},
         {}},
        {"a reply lost after the service recorded the file: the copy stays, and counts as imported",
         kModeCommandLine,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "Q1.tmp", "one");
             WriteFile(bench.Source() / "Q2.tmp", "two");
             bench.m_service.AnswerImport(L"Q1.tmp", {RPC_E_TIMEOUT, {}, true});
             bench.m_service.AnswerImport(L"Q2.tmp", {RPC_E_DISCONNECTED, {}, true});
         },
         Done(0, L"2 files processed\r\n2 files imported successfuly"),
         {"Q1.tmp=one", "Q2.tmp=two"},
         {"Q1.tmp=one", "Q2.tmp=two"}},
        {"a reply lost, and the service gone: the copy stays, since it may have been recorded",
         kModeCommandLine,
         [](CRunBench& bench) {
             WriteFile(bench.Source() / "Q1.tmp", "one");
             // Asked about, then imported; the reply is lost and so is the service.
             bench.m_service.DisappearFromCall(2, RPC_E_DISCONNECTED);
         },
         Done(2, L"1 files processed\r\n1 files failed to import"),
         {"Q1.tmp=one"},
         {"Q1.tmp=one"}},
        {"a failed question about a later file counts it as failed",
         kModeCommandLine,
         [](CRunBench& bench) {
             for (const char* szName : {"Q1.tmp", "Q2.tmp", "Q3.tmp"}) {
                 WriteFile(bench.Source() / szName, "q");
             }
             // The first file is asked about and imported; then the service is gone.
             bench.m_service.DisappearFromCall(3, RPC_E_DISCONNECTED);
         },
         Done(2, L"3 files processed\r\n2 files failed to import\r\n1 files imported successfuly"),
         {"Q1.tmp=q", "Q2.tmp=q", "Q3.tmp=q"},
         {"Q1.tmp=q", "Q2.tmp=q", "Q3.tmp=q"}},
        {"a missing source folder",
         kModeManualFolder,
         [](CRunBench& bench) { std::filesystem::remove(bench.Source()); },
         Done(2, L"Error: invalid input argument.", 0),
         {},
         {}},
        {"the quarantine folder is walked in its own mode, even with no source folder",
         kModeQuarantineFolder,
         [](CRunBench& bench) {
             std::filesystem::remove(bench.Source());
             WriteFile(bench.Quarantine() / "Q1.tmp", "q");
         },
         Done(0, L"1 files processed\r\n1 files imported successfuly"),
         {},
         {"Q1.tmp=q"}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.szName);
        CRunBench bench;
        scenario.setup(bench);
        const std::vector<ImportProgress> reports = bench.Run(scenario.lMode);
        ASSERT_FALSE(reports.empty());
        EXPECT_EQ(reports.back(), scenario.expected);
        if (std::filesystem::exists(bench.Source())) {
            EXPECT_EQ(FolderEntries(bench.Source()), scenario.sourceAfter);
        }
        EXPECT_EQ(FolderEntries(bench.Quarantine()), scenario.quarantineAfter);
    }
}

TEST(ImportRun, AMissingQuarantineFolderEndsAtOnce)
{
    CRunBench bench;
    WriteFile(bench.Source() / "Q1.tmp", "q");
    std::filesystem::remove(bench.Quarantine());
    EXPECT_EQ(bench.Run(kModeCommandLine),
              (std::vector<ImportProgress>{Done(2, L"Error: invalid input argument.", 0)}));
    EXPECT_TRUE(bench.m_service.Calls().empty());
}

TEST(ImportRun, ARunWhileAnotherWorksOnTheQuarantineFolderEndsAtOnceAndSaysWhy)
{
    CRunBench bench;
    WriteFile(bench.Source() / "Q1.tmp", "q");
    // Another run holds the folder, as a run holds it from its start to its end.
    const CAutoFileHandle otherRun(::open(bench.Quarantine().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_EQ(::flock(otherRun.Get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(bench.Run(kModeCommandLine),
              (std::vector<ImportProgress>{Done(2,
                                                L"Com Error:0x800700aa,'The requested resource is in use.','','Another "
                                                L"import is working on the quarantine folder.'",
                                                0)}));
    EXPECT_TRUE(bench.m_service.Calls().empty());
    EXPECT_TRUE(FolderEntries(bench.Quarantine()).empty());

    // The folder is free again once that run has ended.
    ASSERT_EQ(::flock(otherRun.Get(), LOCK_UN), 0);
    EXPECT_EQ(bench.Run(kModeCommandLine).back(), Done(0, L"1 files processed\r\n1 files imported successfuly"));
}

TEST(ImportRun, ReportsProgressOncePerEntryBeforeTheFinalReport)
{
    CRunBench bench;
    for (const char* szName : {"Q1.tmp", "Q2.tmp", "Q3.tmp"})
        WriteFile(bench.Source() / szName, "q");
    const std::vector<ImportProgress> expected = {
        {false, 33, 0, L""},
        {false, 66, 0, L""},
        {false, 100, 0, L""},
        Done(0, L"3 files processed\r\n3 files imported successfuly"),
    };
    EXPECT_EQ(bench.Run(kModeCommandLine), expected);
}

TEST(ImportRun, AFailedImportIsAskedAboutAgainUnlessTheFileIsDamaged)
{
    CRunBench bench;
    WriteFile(bench.Source() / "Q1.tmp", "q");
    WriteFile(bench.Source() / "Q2.tmp", "q");
    bench.m_service.AnswerImport(L"Q1.tmp", {E_FAIL, {}});
    bench.m_service.AnswerImport(L"Q2.tmp", {E_INVALIDARG, kCorrupted});
    bench.Run(kModeCommandLine);
    std::vector<std::wstring> calls = bench.m_service.FileCalls();
    std::sort(calls.begin(), calls.end());
    const std::vector<std::wstring> expected = {
        L"ImportFile Q1.tmp NODE context#1",
        L"ImportFile Q2.tmp NODE context#1",
        L"IsFileKnown Q1.tmp",
        L"IsFileKnown Q1.tmp",
        L"IsFileKnown Q2.tmp",
    };
    EXPECT_EQ(calls, expected);
}

TEST(ImportRun, AsksAboutEachFileByItsBareNameAndImportsItWithTheNetworkNameAndTheRunsContext)
{
    CRunBench bench;
    WriteFile(bench.Source() / "Q1.tmp", "q");
    bench.Run(kModeCommandLine);
    const std::vector<std::wstring> expected = {
        L"CreateInstance ServiceRoot",       L"QueryInterface IServiceRoot", L"GetQuarantineImport",
        L"QueryInterface IQuarantineImport", L"CreateImportContext",         L"IsFileKnown Q1.tmp",
        L"ImportFile Q1.tmp NODE context#1",
    };
    EXPECT_EQ(bench.m_service.Calls(), expected);
}

TEST(ImportRun, AFailedQuestionAboutTheFirstFileEndsTheRun)
{
    CRunBench bench;
    MakeFifo(bench.Source() / "Q1.tmp"); // fails to copy: not asked about, so not the first
    WriteFile(bench.Source() / "Q2.tmp", "q");
    bench.m_service.DisappearFromCall(1, RPC_E_DISCONNECTED);
    EXPECT_EQ(bench.Run(kModeCommandLine).back(), Done(2, L"Error 0x80010108", 0));
    EXPECT_EQ(bench.m_service.FileCalls(), std::vector<std::wstring>{L"IsFileKnown Q2.tmp"});
}

TEST(ImportRun, AServiceThatCannotBeReachedEndsTheRunWithItsError)
{
    const std::vector<FakeFailure> failures = {
        {L"CreateInstance ServiceRoot", REGDB_E_CLASSNOTREG,
         platform::ErrorInfo{L"org.vestrel.Velmora.ClassFactory", L"No service owns the name"},
         L"Com Error:0x80040154,'Class not registered','org.vestrel.Velmora.ClassFactory','No service owns the name'"},
        {L"QueryInterface IServiceRoot",
         E_NOINTERFACE,
         {},
         L"Com Error:0x80004002,'No such interface supported','',''"},
        // Whatever answers in the service's name cannot write to the terminal or forge a line.
        {L"GetQuarantineImport", E_FAIL,
         platform::ErrorInfo{L"org.vestrel\x1b[2J", L"\x1b]0;owned\x07\x1b[2J\r\n999 files imported\x9b"},
         L"Com Error:0x80004005,'Unspecified error','org.vestrel\\x1b[2J','\\x1b]0;owned\\x07\\x1b[2J\\x0d\\x0a999 "
         L"files imported\\x9b'"},
        {L"GetQuarantineImport",
         RPC_E_TIMEOUT,
         {},
         L"Com Error:0x8001011f,'This operation returned because the timeout period expired.','',''"},
        // An object without the interface: the next call through the empty pointer fails.
        {L"QueryInterface IQuarantineImport", E_NOINTERFACE, {}, L"Com Error:0x80004003,'Invalid pointer','',''"},
        {L"QueryInterface IQuarantineImport", E_ACCESSDENIED, {}, L"Com Error:0x80070005,'Access is denied.','',''"},
        // A refused session is reported by its code alone, whatever the service said.
        {L"CreateImportContext", HRESULT_FROM_WIN32(platform::ERROR_BUSY),
         platform::ErrorInfo{L"org.vestrel.Velmora", L"Another client has an import session open"},
         L"Error 0x800700aa"},
        {L"CreateImportContext", E_OUTOFMEMORY, platform::ErrorInfo{L"ignored", L"ignored"}, L"Error 0x8007000e"},
    };
    for (const FakeFailure& failure : failures) {
        SCOPED_TRACE(WideToNarrow(failure.wszCall));
        CRunBench bench;
        WriteFile(bench.Source() / "Q1.tmp", "q");
        bench.m_service.FailCall(failure.wszCall, failure.hr, failure.info);
        EXPECT_EQ(bench.Run(kModeCommandLine), (std::vector<ImportProgress>{Done(2, failure.strExpected, 0)}));
        EXPECT_TRUE(bench.m_service.FileCalls().empty());
        EXPECT_EQ(FolderEntries(bench.Quarantine()), std::vector<std::string>{});
    }
}

TEST(ImportRun, ACancelStopsTheRunBeforeTheNextEntryWithoutAReport)
{
    CRunBench bench;
    for (const char* szName : {"Q1.tmp", "Q2.tmp", "Q3.tmp"})
        WriteFile(bench.Source() / szName, "q");
    bench.m_service.OnImportFile([&](const std::wstring&) { bench.m_cancel.Set(); });
    const std::vector<ImportProgress> reports = bench.Run(kModeCommandLine);
    EXPECT_EQ(reports, (std::vector<ImportProgress>{{false, 33, 0, L""}}));
    EXPECT_EQ(bench.m_service.FileCalls().size(), 2u);
    EXPECT_EQ(FolderEntries(bench.Quarantine()).size(), 1u);
}

} // namespace
