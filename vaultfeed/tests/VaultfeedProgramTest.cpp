// vaultfeed as a setup script or an administrator runs it, above all without a display: the bytes it
// prints, where, and its exit status; the network name it imports under; its progress bar on a
// terminal; a stop signal in the middle of a run, with a display and without.

#include "BusPeers.h"
#include "ServiceBench.h"
#include "TestFolders.h"
#include "common/HandleOwners.h"
#include "common/StringUtils.h"
#include "platform/netapi/NetApi.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <thread>

using namespace VaultfeedTests;
using namespace std::chrono_literals;

namespace {

const std::string kUsage = "Usage: vaultfeed [SOURCE_FOLDER [NETWORK_NAME]]\n"
                           "Without a display there is no wizard to ask with: give the folder of the quarantine files, "
                           "and on\na cluster node the network name the product runs under.\n";

// This computer's NetBIOS name, as the program finds it: the network name it imports under.
std::string NetBiosName()
{
    std::array<wchar_t, 16> buffer{};
    DWORD nSize = buffer.size();
    if (platform::netapi::CurrentNetApi().GetComputerNameExW(platform::netapi::ComputerNameNetBIOS, buffer.data(),
                                                             &nSize) != 0)
        return "(no name)";
    return WideToNarrow(std::wstring(buffer.data(), nSize));
}

class VaultfeedProgram : public ::testing::Test
{
protected:
    testsupport::ProgramResult Run(const std::vector<std::string>& arguments) const
    {
        return testsupport::RunProgram(VAULTFEED_PATH, arguments, Environment());
    }

    // The service's bus, and no display: the program runs in the terminal whatever the test's own
    // environment offers.
    std::map<std::string, std::string> Environment() const { return WithPlatform(""); }
    // The service's bus, and windows on no screen.
    std::map<std::string, std::string> WindowEnvironment() const { return WithPlatform("offscreen"); }

    std::filesystem::path WriteSource(int nFiles) const
    {
        const std::filesystem::path source = m_bench.Folder("source");
        std::filesystem::create_directory(source);
        const std::string strFile = QuarantineFile("item", {"a header line"});
        for (int i = 0; i < nFiles; ++i)
            WriteFile(source / QuarantineName(i), strFile);
        return source;
    }

    // Stops the program with the signal while its worker waits at the service's import gate, in
    // the middle of the nFiles of the source: it ends with status 3 and no report.
    void ExpectStoppedWithoutAReport(testsupport::CRunningProgram& program, int iSignal, std::size_t nFiles);

    CServiceBench m_bench;

private:
    std::map<std::string, std::string> WithPlatform(const std::string& strPlatform) const
    {
        std::map<std::string, std::string> environment = m_bench.Environment();
        environment.insert({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", strPlatform}});
        return environment;
    }
};

std::size_t CountEntries(const std::filesystem::path& folder)
{
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

void VaultfeedProgram::ExpectStoppedWithoutAReport(testsupport::CRunningProgram& program, int iSignal,
                                                   std::size_t nFiles)
{
    const std::string strImporting = "velmorasvc: importing ";
    ASSERT_EQ(m_bench.ServiceLine(testsupport::kProgramHangGuard).value_or("").substr(0, strImporting.size()),
              strImporting);
    ASSERT_EQ(::kill(program.Pid(), iSignal), 0);
    // Only now is the import let through, and each one the worker still begins before it sees the
    // stop: however the machine holds the program back, its run cannot get far.
    m_bench.LetAnImportThrough();
    std::atomic<bool> bEnded = false;
    std::thread gatekeeper([&] {
        while (!bEnded) {
            if (m_bench.ServiceLine(10ms))
                m_bench.LetAnImportThrough();
        }
    });
    const testsupport::ProgramResult result = program.Wait();
    bEnded = true;
    gatekeeper.join();
    EXPECT_EQ(result.iExitStatus, 3);
    EXPECT_EQ(result.strStdout, "");
    EXPECT_LT(CountEntries(m_bench.Quarantine()), nFiles);
}

struct Expected
{
    std::string strStdout;
    std::string strStderr;
    int iExitStatus;
};

void ExpectResult(const testsupport::ProgramResult& result, const Expected& expected)
{
    EXPECT_EQ(result.strStdout, expected.strStdout);
    EXPECT_EQ(result.strStderr, expected.strStderr);
    EXPECT_EQ(result.iExitStatus, expected.iExitStatus);
}

TEST_F(VaultfeedProgram, PrintsTheReportAndExitsWithItsSeverity)
{
    const std::string strSource = WriteSource(2).string();
    WriteFile(m_bench.Folder("source") / "Q2.tmp", DamagedQuarantineFile());
    ExpectResult(Run({strSource, "MAILNODE", "ignored"}),
                 {"3 files processed\r\n2 files imported successfuly\r\n", "", 0});
    ExpectResult(Run({strSource}), {"3 files processed\r\n2 files are already in the database\r\n", "", 1});
    ExpectResult(Run({(m_bench.Folder("missing")).string(), "MAILNODE"}),
                 {"Error: invalid input argument.\r\n", "", 2});
}

TEST_F(VaultfeedProgram, ASecondRunOnTheQuarantineFolderFailsAtOnceAndTheFirstLosesNothing)
{
    const std::string strSource = WriteSource(3).string();
    m_bench.GateImports();
    testsupport::CRunningProgram first(VAULTFEED_PATH, {strSource, "MAILNODE"}, Environment());
    const std::string strImporting = "velmorasvc: importing ";
    ASSERT_EQ(m_bench.ServiceLine(testsupport::kProgramHangGuard).value_or("").substr(0, strImporting.size()),
              strImporting);
    // The first run is held in the middle, the service free again; the second, of the same folder,
    // is refused.
    ASSERT_EQ(::kill(first.Pid(), SIGSTOP), 0);
    m_bench.LetAnImportThrough();
    ExpectResult(Run({strSource, "MAILNODE"}), {"Com Error:0x800700aa,'The requested resource is in use.','','Another "
                                                "import is working on the quarantine folder.'\r\n",
                                                "", 2});
    ASSERT_EQ(::kill(first.Pid(), SIGCONT), 0);
    for (int i = 1; i < 3; ++i) {
        ASSERT_TRUE(m_bench.ServiceLine(testsupport::kProgramHangGuard));
        m_bench.LetAnImportThrough();
    }
    ExpectResult(first.Wait(), {"3 files processed\r\n3 files imported successfuly\r\n", "", 0});
    EXPECT_EQ(m_bench.Rows().size(), 3u);
    EXPECT_EQ(CountEntries(m_bench.Quarantine()), 3u);
}

TEST_F(VaultfeedProgram, AReportThatCannotBeWrittenIsAFailure)
{
    const std::string strSource = WriteSource(1).string();
    const testsupport::ProgramResult result = testsupport::RunProgram(
        "/bin/sh", {"-c", "exec \"$0\" \"$@\" >/dev/full", VAULTFEED_PATH, strSource, "MAILNODE"}, Environment());
    ExpectResult(result, {"", "The report could not be written: No space left on device\n", 2});
    // The run itself went to its end.
    EXPECT_EQ(m_bench.Rows().size(), 1u);
}

TEST_F(VaultfeedProgram, ImportsFromAFolderWhoseNameIsNoUtf8)
{
    // Folder names are bytes: Latin-1, or no encoding at all.
    const std::string names[] = {"caf\xe9", "\xff\xfe-source"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const std::filesystem::path source = m_bench.Folder(names[i]);
        std::filesystem::create_directory(source);
        WriteFile(source / QuarantineName(i), QuarantineFile("item", {"a header line"}));
        ExpectResult(Run({source.string(), "MAILNODE"}),
                     {"1 files processed\r\n1 files imported successfuly\r\n", "", 0});
        EXPECT_EQ(testsupport::ReadFile(m_bench.Quarantine() / QuarantineName(i)),
                  testsupport::ReadFile(source / QuarantineName(i)));
    }
}

TEST_F(VaultfeedProgram, OffAClusterItImportsUnderTheComputersName)
{
    const std::string strSource = WriteSource(1).string();
    ExpectResult(Run({strSource, "MAILNODE"}), {"1 files processed\r\n1 files imported successfuly\r\n", "", 0});
    const std::vector<std::string> rows = m_bench.Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].substr(0, rows[0].find('|', rows[0].find('|') + 1)), "Q0.tmp|" + NetBiosName());
}

TEST_F(VaultfeedProgram, WithoutAFolderThereIsNothingToRunUnattended)
{
    const std::vector<std::vector<std::string>> commandLines = {{}, {"", "MAILNODE"}};
    for (const auto& arguments : commandLines) {
        SCOPED_TRACE(arguments.size());
        ExpectResult(Run(arguments), {"", kUsage, 3});
    }
    // A folder alone is enough: the network name is the computer's.
    ExpectResult(Run({"/srv/source", ""}), {"Error: invalid input argument.\r\n", "", 2});
}

TEST_F(VaultfeedProgram, WithoutTheServiceItSaysWhyAndCannotStart)
{
    m_bench.StopService(SIGTERM);
    const std::string strNoService =
        "Com Error:0x80040154,'Class not registered','org.vestrel.Velmora.Quarantine1','Could not get owner of "
        "name 'org.vestrel.Velmora': no such name'\n";
    // The configuration is read first: the command line is not looked at.
    ExpectResult(Run({}), {"", strNoService, 3});
    ExpectResult(Run({m_bench.Folder("source").string(), "MAILNODE"}), {"", strNoService, 3});
}

TEST_F(VaultfeedProgram, ABusThatNeverSpeaksEndsTheRunAsNotStarted)
{
    const CSilentSocket silent(m_bench.Folder("silent"));
    std::map<std::string, std::string> environment = Environment();
    environment[Vaultfeed::Bus::kBusAddressVariable] = silent.Address();
    ExpectResult(testsupport::RunProgram(VAULTFEED_PATH, {m_bench.Folder("source").string(), "MAILNODE"}, environment),
                 {"",
                  "Com Error:0x8001011f,'This operation returned because the timeout period expired.','org.vestrel."
                  "Velmora.Quarantine1','" +
                      silent.Address() + " did not answer within 5000 ms.'\n",
                  3});
}

TEST_F(VaultfeedProgram, AStopSignalEndsTheWaitForABusThatNeverSpeaks)
{
    for (const int iSignal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(iSignal);
        CSilentSocket silent(m_bench.Folder("silent" + std::to_string(iSignal)));
        std::map<std::string, std::string> environment = Environment();
        environment[Vaultfeed::Bus::kBusAddressVariable] = silent.Address();
        testsupport::CRunningProgram program(VAULTFEED_PATH, {m_bench.Folder("source").string(), "MAILNODE"},
                                             environment);
        silent.WaitForAClient();
        ExpectResult(program.Stop(iSignal), {"", "", 3});
    }
}

TEST_F(VaultfeedProgram, DrawsItsProgressOnATerminalAndClearsIt)
{
    const std::string strSource = WriteSource(2000).string();
    const testsupport::ProgramResult result =
        testsupport::RunProgramOnTerminal(VAULTFEED_PATH, {strSource, "MAILNODE"}, Environment());
    EXPECT_EQ(result.strStdout, "2000 files processed\r\n2000 files imported successfuly\r\n");
    EXPECT_EQ(result.iExitStatus, 0);
    // Each state of the bar is drawn over the last: 40 marks, a '#' for each 2.5 % done.
    const std::regex frame("\rImporting \\[(#*)(\\.*)\\] +([0-9]+)%");
    std::string strRest = result.strStderr;
    int nFrames = 0;
    int iLastPercent = -1;
    for (std::smatch match; std::regex_search(strRest, match, frame) && match.position() == 0;
         strRest = match.suffix()) {
        const int iPercent = std::stoi(match[3]);
        EXPECT_EQ(match[1].length(), iPercent * 40 / 100);
        EXPECT_EQ(match[1].length() + match[2].length(), 40);
        EXPECT_GT(iPercent, iLastPercent);
        iLastPercent = iPercent;
        ++nFrames;
    }
    EXPECT_GE(nFrames, 1) << "no progress was drawn: " << result.strStderr;
    EXPECT_EQ(strRest, "\r\033[K");
}

TEST_F(VaultfeedProgram, AStopSignalEndsTheRunWithoutAReport)
{
    const std::filesystem::path source = WriteSource(3000);
    m_bench.GateImports();
    for (const int iSignal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(iSignal);
        std::filesystem::remove_all(m_bench.Quarantine());
        std::filesystem::create_directory(m_bench.Quarantine());
        testsupport::CRunningProgram program(VAULTFEED_PATH, {source.string(), "MAILNODE"}, Environment());
        ExpectStoppedWithoutAReport(program, iSignal, 3000);
    }
}

// Opens the start gate's pipe for writing once the program holds it open for reading: the program is
// then inside the gate.
CAutoFileHandle EnterStartGate(const std::filesystem::path& gate)
{
    const auto deadline = std::chrono::steady_clock::now() + testsupport::kProgramHangGuard;
    for (;;) {
        CAutoFileHandle writer(::open(gate.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (writer || errno != ENXIO || std::chrono::steady_clock::now() > deadline)
            return writer;
        std::this_thread::sleep_for(1ms);
    }
}

TEST_F(VaultfeedProgram, AStopSignalAtTheVeryStartEndsTheRunBeforeItBegins)
{
    const std::filesystem::path source = WriteSource(3);
    const std::filesystem::path gate = m_bench.Folder("start.gate");
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    std::map<std::string, std::string> environment = Environment();
    environment.insert({{"LD_PRELOAD", START_GATE_PATH}, {"VAULTFEED_START_GATE", gate.string()}});
    for (const int iSignal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(iSignal);
        testsupport::CRunningProgram program(VAULTFEED_PATH, {source.string(), "MAILNODE"}, environment);
        // The program is held before its libraries have started, let alone main.
        const CAutoFileHandle writer = EnterStartGate(gate);
        ASSERT_TRUE(writer);
        ASSERT_EQ(::kill(program.Pid(), iSignal), 0);
        ASSERT_EQ(::write(writer.Get(), "+", 1), 1);
        ExpectResult(program.Wait(), {"", "", 3});
        EXPECT_EQ(CountEntries(m_bench.Quarantine()), 0u);
    }
}

// An X display on 127.0.0.1 that accepts connections and never says a word.
class CSilentXServer
{
public:
    CSilentXServer()
    {
        for (int iDisplay = 100; iDisplay < 200 && m_iDisplay < 0; ++iDisplay) {
            m_socket = CAutoFileHandle(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(6000 + iDisplay));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(m_socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(m_socket.Get(), 8) == 0)
                m_iDisplay = iDisplay;
        }
    }

    std::string Display() const { return "127.0.0.1:" + std::to_string(m_iDisplay); }
    // Whether a client has connected, waiting at most the hang guard.
    bool Accepted()
    {
        pollfd wait{m_socket.Get(), POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(testsupport::kProgramHangGuard.count() * 1000)) != 1)
            return false;
        m_client = CAutoFileHandle(::accept4(m_socket.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        return static_cast<bool>(m_client);
    }

private:
    CAutoFileHandle m_socket;
    CAutoFileHandle m_client;
    int m_iDisplay = -1;
};

TEST_F(VaultfeedProgram, ADisplayThatNeverAnswersEndsTheRunAndSaysWhy)
{
    const std::string strSource = WriteSource(1).string();
    const auto environmentFor = [this](const CSilentXServer& server) {
        std::map<std::string, std::string> environment = m_bench.Environment();
        environment.insert({{"DISPLAY", server.Display()}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
        return environment;
    };
    const CSilentXServer server;
    ExpectResult(testsupport::RunProgram(VAULTFEED_PATH, {strSource}, environmentFor(server)),
                 {"", "The display " + server.Display() + " did not answer within 5 seconds.\n", 3});

    // A stop signal ends the wait: sent once the program has connected, so it is in the wait.
    CSilentXServer waitedFor;
    testsupport::CRunningProgram program(VAULTFEED_PATH, {strSource}, environmentFor(waitedFor));
    ASSERT_TRUE(waitedFor.Accepted());
    ASSERT_EQ(::kill(program.Pid(), SIGTERM), 0);
    ExpectResult(program.Wait(), {"", "", 3});
    EXPECT_EQ(CountEntries(m_bench.Quarantine()), 0u);
}

TEST_F(VaultfeedProgram, APlatformThatDoesNotExistCannotStart)
{
    std::map<std::string, std::string> environment = m_bench.Environment();
    environment.insert({{"QT_QPA_PLATFORM", "nosuchplatform"}});
    const testsupport::ProgramResult result =
        testsupport::RunProgram(VAULTFEED_PATH, {WriteSource(1).string()}, environment);
    EXPECT_EQ(result.iExitStatus, 3);
    EXPECT_EQ(result.strStdout, "");
    EXPECT_NE(result.strStderr.find("\nThe windows could not start: "), std::string::npos) << result.strStderr;
    EXPECT_EQ(CountEntries(m_bench.Quarantine()), 0u);
}

// With a display, as the product's setup runs it: the progress dialog imports and closes by itself.
// Qt's own messages about the screen go to standard error.
TEST_F(VaultfeedProgram, WithADisplayTheDialogImportsAndClosesByItself)
{
    const std::string strSource = WriteSource(2).string();
    const testsupport::ProgramResult result = testsupport::RunProgram(VAULTFEED_PATH, {strSource}, WindowEnvironment());
    EXPECT_EQ(result.strStdout, "");
    EXPECT_EQ(result.iExitStatus, 0);
    EXPECT_EQ(m_bench.Rows().size(), 2u);
}

TEST_F(VaultfeedProgram, WithADisplayAStopSignalEndsTheRunWithoutAReport)
{
    const std::filesystem::path source = WriteSource(3000);
    m_bench.GateImports();
    testsupport::CRunningProgram program(VAULTFEED_PATH, {source.string()}, WindowEnvironment());
    ExpectStoppedWithoutAReport(program, SIGTERM, 3000);
}

} // namespace
