// vaultfeed: imports a folder of quarantine files into the product through its service.
//
//   vaultfeed [SOURCE_FOLDER [NETWORK_NAME]]
//
// With a display it shows the import wizard, or, when the command line says everything, a progress
// dialog that closes by itself unless the import fails. Without one, or when built without its
// windows, it imports unattended in the terminal. It exits with the report's severity (0 success, 1 warning, 2 error),
// or 3 when the run was cancelled or could not start.

#include "TerminalForm.h"
#include "common/StringUtils.h"
#include "platform/StopSignals.h"

#include <string>
#include <vector>

#ifdef VAULTFEED_WINDOWS
#include "Display.h"
#include "WindowForm.h"

#include <QApplication>
#endif

int main(int argc, char** argv)
{
    // Before the first thread: Qt's and the worker's threads inherit the blocked signals.
    const sigset_t stopSignals = platform::BlockStopSignals();
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(NarrowToWide(argv[i]));
#ifdef VAULTFEED_WINDOWS
    if (Vaultfeed::CanOpenDisplay()) {
        // Qt sees the program's name only: a folder named like one of its options stays a folder.
        int iQtArgc = 1;
        const QApplication application(iQtArgc, argv);
        return Vaultfeed::RunWindowForm(arguments, stopSignals);
    }
#endif
    return Vaultfeed::RunTerminalForm(arguments, stopSignals);
}
