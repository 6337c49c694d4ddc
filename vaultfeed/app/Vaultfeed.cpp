// vaultfeed: imports a folder of quarantine files into the product through its service.
//
//   vaultfeed [SOURCE_FOLDER [NETWORK_NAME]]
//
// With a display it shows the import wizard, or, when the command line says everything, a progress
// dialog that closes by itself unless the import fails. Without one, or when built without its
// windows, it imports unattended in the terminal. It exits with the report's severity (0 success, 1 warning, 2 error),
// or 3 when the run was cancelled or could not start.

#include "Startup.h"
#include "TerminalForm.h"
#include "platform/StopSignals.h"

#include <string>
#include <vector>

#ifdef VAULTFEED_WINDOWS
#include "Display.h"
#include "WindowForm.h"
#endif

namespace {

// The stop signals are blocked before any library's initialiser runs, let alone main: loading Qt
// takes long enough for a signal sent at start to arrive meanwhile, and would otherwise end the
// program by the signal instead of with its status. The loader runs the executable's
// .preinit_array first, as soon as every library is mapped and relocated.
void BlockStopSignalsFirst(int, char**, char**)
{
    platform::BlockStopSignals();
}
// The loader reads the entry; nothing else does.
[[gnu::used, gnu::section(".preinit_array")]] void (*g_pBlockStopSignalsFirst)(int, char**,
                                                                               char**) = &BlockStopSignalsFirst;

} // namespace

int main(int argc, char** argv)
{
    // Blocked already; the set is what the forms wait on. Qt's and the worker's threads inherit it.
    const sigset_t stopSignals = platform::BlockStopSignals();
    // As the bytes they are: a folder's name need not be UTF-8.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
#ifdef VAULTFEED_WINDOWS
    // Qt sees the program's name only: a folder named like one of its options stays a folder.
    int iQtArgc = 1;
    switch (Vaultfeed::ChooseForm(stopSignals)) {
    case Vaultfeed::Form::NotRun:
        return Vaultfeed::kExitNotRun;
    case Vaultfeed::Form::Windows: {
        const std::unique_ptr<QApplication> pApplication = Vaultfeed::OpenWindowApplication(iQtArgc, argv);
        return Vaultfeed::RunWindowForm(arguments, stopSignals);
    }
    case Vaultfeed::Form::Terminal:
        break;
    }
#endif
    return Vaultfeed::RunTerminalForm(arguments, stopSignals);
}
