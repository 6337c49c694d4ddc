#include "WindowForm.h"

#include "Startup.h"
#include "StopInterrupt.h"
#include "common/HandleOwners.h"
#include "vaultfeed/app/MessageBoxes.h"
#include "vaultfeed/app/VaultfeedApp.h"
#include "vaultfeed/bus/BusService.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <optional>
#include <sys/signalfd.h>

namespace Vaultfeed {

int RunWindowForm(const std::vector<std::string>& arguments, const sigset_t& stopSignals)
{
    // Every event loop ends, the open windows' with them; their jobs stop as the windows go.
    // The signal stays pending, so a loop that starts later ends as well.
    const CAutoFileHandle signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    std::optional<QSocketNotifier> stopNotifier;
    if (signals) {
        stopNotifier.emplace(signals.Get(), QSocketNotifier::Read);
        QObject::connect(&*stopNotifier, &QSocketNotifier::activated, [] { QCoreApplication::exit(kExitNotRun); });
    }

    CMessageBoxes messageBoxes;
    CVaultfeedApp app(Bus::ConnectToService(), messageBoxes);
    const CInterruptOnStopSignal interruptOnStop(*app.Service(), stopSignals);
    return app.InitInstance(arguments);
}

} // namespace Vaultfeed
