#include "TerminalForm.h"

#include "Startup.h"
#include "StopInterrupt.h"
#include "Texts.h"
#include "common/ComError.h"
#include "common/StringUtils.h"
#include "platform/ComApartment.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusService.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <unistd.h>

namespace Vaultfeed {
namespace {

// How often the progress is looked at, as the progress dialog's timer does.
constexpr long kPollNanoseconds = 150'000'000;
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

// True when a stop signal arrived within the wait.
bool StopRequested(const sigset_t& stopSignals, long lNanoseconds)
{
    const timespec wait{0, lNanoseconds};
    return ::sigtimedwait(&stopSignals, nullptr, &wait) > 0;
}

} // namespace

int RunTerminalForm(const std::vector<std::wstring>& arguments, const sigset_t& stopSignals)
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
        CImportJob job(pService);
        return RunInTerminal(job, decision.params, stopSignals);
    } catch (const UTIL::COM::_com_error& e) {
        // A start-up that a stop signal interrupted ends as stopped, not as failed.
        if (!StopRequested(stopSignals, 0))
            PrintError(WideToNarrow(ComErrorText(e)));
    } catch (...) {
        PrintError(Texts::kConfigurationFailed);
    }
    return kExitNotRun;
}

int RunInTerminal(CImportJob& job, const ImportParameters& params, const sigset_t& stopSignals)
{
    // A signal that came during start-up: nothing is started.
    if (StopRequested(stopSignals, 0))
        return kExitNotRun;
    if (!job.Start(params.lMode, params.strSourceFolder, params.strQuarantineFolder, params.strNetworkName))
        return kExitNotRun;
    CProgressBar bar;
    for (;;) {
        if (StopRequested(stopSignals, kPollNanoseconds)) {
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
        const std::string strReport = WideToNarrow(progress.strMessage) + "\r\n";
        std::fwrite(strReport.data(), 1, strReport.size(), stdout);
        return progress.lSeverity;
    }
}

} // namespace Vaultfeed
