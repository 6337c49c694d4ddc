#include "TerminalForm.h"

#include "Startup.h"
#include "StopInterrupt.h"
#include "Texts.h"
#include "common/ComError.h"
#include "common/HandleOwners.h"
#include "common/StringUtils.h"
#include "platform/ComApartment.h"
#include "vaultfeed/ImportJob.h"
#include "vaultfeed/ImportReport.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusService.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace Vaultfeed {
namespace {

// How often a progress bar is redrawn, as the progress dialog's timer does.
constexpr int kRedrawMilliseconds = 150;
constexpr int kBarWidth = 40;

constexpr const char* kUsageText =
    "Usage: vaultfeed [SOURCE_FOLDER [NETWORK_NAME]]\n"
    "Without a display there is no wizard to ask with: give the folder of the quarantine files, and on\n"
    "a cluster node the network name the product runs under.\n";

void PrintError(const std::string& strText)
{
    const std::string strLine = strText + "\n";
    std::fwrite(strLine.data(), 1, strLine.size(), stderr);
}

// A bar of the percent done, redrawn in place on standard error; nothing when that is no terminal.
class CProgressBar
{
public:
    CProgressBar() : m_bShown(::isatty(STDERR_FILENO) == 1) {}
    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;
    ~CProgressBar() { Clear(); }

    bool IsShown() const { return m_bShown; }

    void Show(int iPercent)
    {
        if (!m_bShown || iPercent == m_iPercent)
            return;
        m_iPercent = iPercent;
        const int iFilled = iPercent * kBarWidth / 100;
        std::fprintf(stderr, "\rImporting [%s%s] %3d%%", std::string(iFilled, '#').c_str(),
                     std::string(kBarWidth - iFilled, '.').c_str(), iPercent);
        std::fflush(stderr);
    }

    // Removes the bar, so that whatever comes next starts on a clean line.
    void Clear()
    {
        if (!m_bShown || m_iPercent < 0)
            return;
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        m_iPercent = -1;
    }

private:
    bool m_bShown;
    int m_iPercent = -1;
};

// What the terminal waits for while the job runs: a stop signal (blocked, taken here), or the end
// of the run, which the job's worker tells through an event counter.
class CRunWaits
{
public:
    explicit CRunWaits(const sigset_t& stopSignals)
        : m_stop(::signalfd(-1, &stopSignals, SFD_CLOEXEC)), m_done(::eventfd(0, EFD_CLOEXEC))
    {
    }

    bool IsValid() const { return m_stop && m_done; }
    // Called on the worker.
    void TellDone() const
    {
        const std::uint64_t uOne = 1;
        [[maybe_unused]] const ssize_t cbWritten = ::write(m_done.Get(), &uOne, sizeof uOne);
    }

    enum class Outcome { Stop, Done, TimedOut };
    // Waits at most iMilliseconds (-1: without limit); a stop signal wins over the run's end.
    Outcome Wait(int iMilliseconds) const
    {
        pollfd waits[] = {{m_stop.Get(), POLLIN, 0}, {m_done.Get(), POLLIN, 0}};
        if (::poll(waits, 2, iMilliseconds) <= 0)
            return Outcome::TimedOut;
        if (waits[0].revents != 0)
            return Outcome::Stop;
        return waits[1].revents != 0 ? Outcome::Done : Outcome::TimedOut;
    }

private:
    CAutoFileHandle m_stop;
    CAutoFileHandle m_done;
};

// Writes the report on standard output: its severity, or an error when it could not be written
// whole (a full disk), since a setup script would take a lost report for success.
int PrintReport(const ImportProgress& progress)
{
    const std::string strReport = WideToNarrow(progress.strMessage) + "\r\n";
    if (std::fwrite(strReport.data(), 1, strReport.size(), stdout) == strReport.size() && std::fflush(stdout) == 0)
        return progress.lSeverity;
    PrintError(std::string("The report could not be written: ") + std::strerror(errno));
    return kSeverityError;
}

// True when a stop signal is pending (left for the form to take): it interrupted the start-up.
bool StopPending(const sigset_t& stopSignals)
{
    sigset_t pending;
    sigset_t stops;
    ::sigpending(&pending);
    ::sigandset(&stops, &pending, &stopSignals);
    return ::sigisemptyset(&stops) == 0;
}

} // namespace

int RunTerminalForm(const std::vector<std::string>& arguments, const sigset_t& stopSignals)
{
    try {
        const platform::CComApartment apartment(platform::COINIT_APARTMENTTHREADED, true);
        const std::shared_ptr<IServiceConnection> pService = Bus::ConnectToService();
        const CInterruptOnStopSignal interruptOnStop(*pService, stopSignals);
        const StartupDecision decision = DecideStartup(*pService, arguments);
        if (decision.bAskUser) {
            std::fputs(kUsageText, stderr);
            return kExitNotRun;
        }
        return RunInTerminal(pService, decision.params, stopSignals);
    } catch (const UTIL::COM::_com_error& e) {
        // A start-up that a stop signal interrupted ends as stopped, not as failed.
        if (!StopPending(stopSignals))
            PrintError(WideToNarrow(ComErrorText(e)));
    } catch (...) {
        PrintError(Texts::kConfigurationFailed);
    }
    return kExitNotRun;
}

int RunInTerminal(std::shared_ptr<IServiceConnection> pService, const ImportParameters& params,
                  const sigset_t& stopSignals)
{
    const CRunWaits waits(stopSignals);
    // A signal that came during start-up: nothing is started.
    if (!waits.IsValid() || waits.Wait(0) == CRunWaits::Outcome::Stop)
        return kExitNotRun;
    // The job goes before the waits it tells.
    CImportJob job(std::move(pService), [&waits] { waits.TellDone(); });
    if (!job.Start(params.lMode, params.strSourceFolder, params.strQuarantineFolder, params.strNetworkName))
        return kExitNotRun;
    CProgressBar bar;
    for (;;) {
        const CRunWaits::Outcome outcome = waits.Wait(bar.IsShown() ? kRedrawMilliseconds : -1);
        if (outcome == CRunWaits::Outcome::Stop) {
            job.Stop();
            return kExitNotRun;
        }
        const ImportProgress progress = job.GetProgress();
        if (!progress.bDone) {
            bar.Show(progress.lPercent);
            continue;
        }
        job.Stop();
        bar.Clear();
        return PrintReport(progress);
    }
}

} // namespace Vaultfeed
