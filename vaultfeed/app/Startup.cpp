#include "Startup.h"

#include "ClusterNetworkNames.h"
#include "ComputerName.h"
#include "common/StringUtils.h"
#include "vaultfeed/ReadQuarantineFolder.h"

namespace Vaultfeed {

StartupDecision DecideStartup(IServiceConnection& service, const std::vector<std::string>& arguments)
{
    StartupDecision decision;
    ImportParameters& params = decision.params;
    params.lMode = kModeQuarantineFolder;
    params.strQuarantineFolder = WideToNarrow(ReadQuarantineFolder(service));
    const bool bClusterNode = IsClusterNode();
    if (!bClusterNode)
        params.strNetworkName = NetBiosComputerName();
    if (!arguments.empty()) {
        params.lMode = kModeCommandLine;
        params.strSourceFolder = arguments[0];
        if (bClusterNode && arguments.size() > 1)
            params.strNetworkName = NarrowToWide(arguments[1]);
    }
    decision.bAskUser = params.strSourceFolder.empty() || params.strNetworkName.empty();
    return decision;
}

} // namespace Vaultfeed
