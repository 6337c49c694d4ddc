// vaultfeed: imports a folder of quarantine files into the product through its service.
//
//   vaultfeed SOURCE_FOLDER NETWORK_NAME
//
// This build runs the import unattended in the terminal. It exits with the report's severity (0
// success, 1 warning, 2 error), or 3 when the run was cancelled or could not start.

#include "Startup.h"
#include "TerminalImport.h"
#include "common/ComError.h"
#include "common/StringUtils.h"
#include "platform/StopSignals.h"
#include "platform/ComApartment.h"
#include "vaultfeed/ServiceCalls.h"
#include "vaultfeed/bus/BusProxies.h"

#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsageText =
    "Usage: vaultfeed SOURCE_FOLDER NETWORK_NAME\n"
    "Imports the quarantine files of SOURCE_FOLDER into the product's quarantine folder through the\n"
    "product's service, under the product's NETWORK_NAME.\n";

void PrintError(const std::wstring& strText)
{
    const std::string strLine = WideToNarrow(strText) + "\n";
    std::fwrite(strLine.data(), 1, strLine.size(), stderr);
}

int Run(const std::vector<std::wstring>& arguments, const sigset_t& stopSignals)
{
    try {
        const platform::CComApartment apartment(platform::COINIT_APARTMENTTHREADED, true);
        const std::shared_ptr<Vaultfeed::IServiceConnection> pService = Vaultfeed::Bus::ConnectToService();
        const Vaultfeed::StartupDecision decision = Vaultfeed::DecideStartup(*pService, arguments);
        if (decision.bAskUser) {
            // The wizard that would ask is not part of this build.
            std::fputs(kUsageText, stderr);
            return Vaultfeed::kExitNotRun;
        }
        Vaultfeed::CImportJob job(pService);
        return Vaultfeed::RunInTerminal(job, decision.params, stopSignals);
    } catch (const UTIL::COM::_com_error& e) {
        PrintError(Vaultfeed::ComErrorText(e));
    } catch (...) {
        PrintError(L"Failed to read product configuration.");
    }
    return Vaultfeed::kExitNotRun;
}

} // namespace

int main(int argc, char** argv)
{
    const sigset_t stopSignals = platform::BlockStopSignals();
    const QCoreApplication application(argc, argv);
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(NarrowToWide(argv[i]));
    return Run(arguments, stopSignals);
}
