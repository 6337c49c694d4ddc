#include "Startup.h"

#include "vaultfeed/ReadQuarantineFolder.h"

namespace Vaultfeed {

StartupDecision DecideStartup(IServiceConnection& service, const std::vector<std::wstring>& arguments)
{
    StartupDecision decision;
    decision.params.lMode = kModeQuarantineFolder;
    decision.params.strQuarantineFolder = ReadQuarantineFolder(service);
    if (!arguments.empty()) {
        decision.params.lMode = kModeCommandLine;
        decision.params.strSourceFolder = arguments[0];
    }
    if (arguments.size() > 1)
        decision.params.strNetworkName = arguments[1];
    decision.bAskUser = decision.params.strSourceFolder.empty() || decision.params.strNetworkName.empty();
    return decision;
}

} // namespace Vaultfeed
