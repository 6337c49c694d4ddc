// Measures keepctl's server browse against SQL Server Browsers on 127.0.0.1 that send more than a
// network usually does: how many of 2,000 names are listed when they come in 20 datagrams or in
// 2,000; how long a browse with a 1 s wait takes while a computer floods it with 64 KiB answers;
// and what the trace log costs a browse of 100,000 names, and one under a flood. Prints, for each,
// the names listed, the kernel's count of datagrams it dropped for want of buffer space, and the
// wall times. Nothing leaves this computer.
//
//   browse_load_benchmark [ROUNDS [KEEPCTL]]
//
// Each scenario runs ROUNDS times (default 5); a flood stops after 30 s whatever the browse does.
// KEEPCTL is the program to measure, the one built beside this benchmark by default: another
// build's, to compare two.

#include "testsupport/RunProgram.h"
#include "tools/browseresponder/ResolutionResponder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tools::CResolutionResponder;
using tools::Datagram;

constexpr std::chrono::seconds kLongestFlood{30};
// A browse that a slow trace makes last minutes is still measured.
constexpr std::chrono::minutes kLongestBrowse{20};

// The kernel's count of UDP datagrams dropped because a socket's receive buffer was full.
long ReceiveBufferErrors()
{
    std::ifstream snmp("/proc/net/snmp");
    std::vector<std::string> header;
    for (std::string strLine; std::getline(snmp, strLine);) {
        if (!strLine.starts_with("Udp: "))
            continue;
        std::istringstream fields(strLine);
        std::vector<std::string> values;
        for (std::string strField; fields >> strField;)
            values.push_back(strField);
        if (header.empty()) {
            header = std::move(values);
            continue;
        }
        const auto at = std::find(header.begin(), header.end(), "RcvbufErrors");
        return at == header.end() ? -1 : std::stol(values[static_cast<std::size_t>(at - header.begin())]);
    }
    return -1;
}

// "ServerName;PREFIXnnnnnn;InstanceName;MSSQLSERVER;;" for names first to first + count - 1.
std::string DefaultInstances(const std::string& strPrefix, int iFirst, int nCount)
{
    std::string strText;
    char szNumber[16];
    for (int i = iFirst; i < iFirst + nCount; ++i) {
        std::snprintf(szNumber, sizeof szNumber, "%06d", i);
        strText += "ServerName;" + strPrefix + szNumber + ";InstanceName;MSSQLSERVER;;";
    }
    return strText;
}

struct BrowseRun
{
    std::size_t nListed = 0;
    double dSeconds = 0;
    long nKernelDrops = 0;
    int iExitStatus = 0;
};

class CBench
{
public:
    explicit CBench(std::filesystem::path keepctl) : m_keepctl(std::move(keepctl)) {}

    // One keepctl browse of remote servers at the targets, with the trace log on or off.
    BrowseRun Browse(const std::string& strTargets, bool bTrace) const
    {
        const std::string strTraceKey = "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n"
                                        "\"TraceFileName\"=\"" +
                                        (m_folder.Path() / "keeplib").string() +
                                        "\"\r\n\"OutputToDebugger\"=dword:0\r\n" +
                                        (bTrace ? "" : "\"OutputToFile\"=dword:0\r\n");
        const auto registry =
            m_folder.Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + strTraceKey +
                                               "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keepctl]\r\n"
                                               "\"OutputToFile\"=dword:0\r\n\"OutputToDebugger\"=dword:0\r\n");
        const long nDropsBefore = ReceiveBufferErrors();
        const auto start = Clock::now();
        testsupport::CRunningProgram keepctl(m_keepctl, {"BROWSESQLSERVERS", "-t", "1"},
                                             {{"VESTREL_REGISTRY_FILE", registry.string()},
                                              {"TMPDIR", m_folder.Path().string()},
                                              {"VESTREL_BROWSE_TARGETS", strTargets}});
        const auto result = keepctl.Wait(kLongestBrowse);
        BrowseRun run;
        run.dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        run.nKernelDrops = ReceiveBufferErrors() - nDropsBefore;
        run.iExitStatus = result.iExitStatus;
        const auto nLines = std::count(result.strStdout.begin(), result.strStdout.end(), '\n');
        run.nListed = nLines > 0 ? static_cast<std::size_t>(nLines - 1) : 0; // less the heading
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
            if (entry.path().filename().string().starts_with("keeplib-"))
                std::filesystem::remove(entry.path());
        }
        return run;
    }

private:
    std::filesystem::path m_keepctl;
    testsupport::ScratchFolder m_folder;
};

void PrintRuns(const char* szTitle, std::vector<BrowseRun> runs)
{
    std::sort(runs.begin(), runs.end(), [](const BrowseRun& a, const BrowseRun& b) { return a.dSeconds < b.dSeconds; });
    std::printf("%s\n", szTitle);
    for (const BrowseRun& run : runs)
        std::printf("  %8zu listed  %8.2f s  %6ld dropped by the kernel  exit %d\n", run.nListed, run.dSeconds,
                    run.nKernelDrops, run.iExitStatus);
    std::printf("  median %.2f s\n", runs[runs.size() / 2].dSeconds);
    std::fflush(stdout);
}

// A computer that answers with the datagrams given, each time it is asked.
std::vector<BrowseRun> AnswersOf(const CBench& bench, const std::vector<Datagram>& answers, int nRounds)
{
    const CResolutionResponder responder(answers);
    std::vector<BrowseRun> runs;
    for (int i = 0; i < nRounds; ++i)
        runs.push_back(bench.Browse(responder.Target(), false));
    return runs;
}

// A computer that answers each request with 64 KiB answers until it is stopped: at the latest
// kLongestFlood after the browse started.
std::vector<BrowseRun> UnderAFlood(const CBench& bench, bool bTrace, int nRounds)
{
    const std::string strNames = DefaultInstances("FLOOD", 0, 2000);
    const Datagram answer = tools::FramedAnswer(strNames.substr(0, strNames.rfind(";;", 65000) + 2));
    tools::ResponderOptions options;
    options.nRepeats = static_cast<std::size_t>(-1);
    std::vector<BrowseRun> runs;
    for (int i = 0; i < nRounds; ++i) {
        CResolutionResponder flood({answer}, options);
        std::jthread watchdog([&flood](std::stop_token stop) {
            const auto end = Clock::now() + kLongestFlood;
            while (!stop.stop_requested() && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            flood.Stop();
        });
        runs.push_back(bench.Browse(flood.Target(), bTrace));
    }
    return runs;
}

// 100,000 distinct names from 100 computers, 1,000 in one answer each.
std::vector<BrowseRun> HundredThousandNames(const CBench& bench, bool bTrace, int nRounds)
{
    std::vector<std::unique_ptr<CResolutionResponder>> computers;
    std::string strTargets;
    for (int i = 0; i < 100; ++i) {
        computers.push_back(std::make_unique<CResolutionResponder>(
            std::vector<Datagram>{tools::FramedAnswer(DefaultInstances("H", i * 1000, 1000))}));
        strTargets += (i ? "," : "") + computers.back()->Target();
    }
    std::vector<BrowseRun> runs;
    for (int i = 0; i < nRounds; ++i)
        runs.push_back(bench.Browse(strTargets, bTrace));
    return runs;
}

} // namespace

int main(int argc, char** argv)
{
    const int nRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const CBench bench(argc > 2 ? argv[2] : KEEPCTL_PATH);

    // As SQL Server Browsers answer, with each instance's version and protocols.
    std::vector<Datagram> twenty;
    for (int i = 0; i < 20; ++i) {
        std::vector<std::string> names;
        for (int j = 0; j < 100; ++j)
            names.push_back("SERVER" + std::to_string(i * 100 + j) + "\\INSTANCE");
        twenty.push_back(tools::InstancesAnswer(names));
    }
    PrintRuns("2,000 names in 20 datagrams", AnswersOf(bench, twenty, nRounds));

    std::vector<Datagram> twoThousand;
    for (int i = 0; i < 2000; ++i)
        twoThousand.push_back(tools::InstancesAnswer({"SERVER" + std::to_string(i) + "\\INSTANCE"}));
    PrintRuns("2,000 names in 2,000 datagrams", AnswersOf(bench, twoThousand, nRounds));

    PrintRuns("a 1 s browse under a flood of 64 KiB answers, trace off", UnderAFlood(bench, false, nRounds));
    PrintRuns("a 1 s browse under a flood of 64 KiB answers, trace on", UnderAFlood(bench, true, nRounds));

    PrintRuns("100,000 distinct names from 100 computers, trace off", HundredThousandNames(bench, false, nRounds));
    PrintRuns("100,000 distinct names from 100 computers, trace on", HundredThousandNames(bench, true, 1));
    return 0;
}
