// Whether every server a name denotes (the data source, and its failover partner) is of a kind the
// caller accepts: remote, this computer, or the local cluster.

#include "CallFrame.h"
#include "FailedCall.h"
#include "LocalComputerNames.h"
#include "ServerDiscovery.h"
#include "database/DBConnectionHelper.h"
#include "trace/TraceScope.h"

namespace Keeplibs {

HRESULT KeeplibValidateSQLServerName(std::int32_t lType, const wchar_t* pstrServerName)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibValidateSQLServerName()");
    return RunInCallFrame(ResultLine::Returning, [&] {
        TRACE_INFO(TRACE_NORMAL, L"lType=%ld", static_cast<long>(lType));
        TRACE_INFO(TRACE_NORMAL, L"pstrServerName=%ls", pstrServerName ? pstrServerName : L"");
        if (!pstrServerName) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Abandoned(E_INVALIDARG);
        }
        const bool bShowRemote = (lType & kServerTypeRemote) != 0;
        const bool bShowLocalComputer = (lType & kServerTypeLocalComputer) != 0;
        const bool bShowLocalCluster = (lType & kServerTypeLocalCluster) != 0;
        const bool bShowAll = bShowRemote && bShowLocalComputer && bShowLocalCluster;
        TRACE_INFO(TRACE_NORMAL, L"bShowRemote=%i", bShowRemote ? 1 : 0);
        TRACE_INFO(TRACE_NORMAL, L"bShowLocalComputer=%i", bShowLocalComputer ? 1 : 0);
        TRACE_INFO(TRACE_NORMAL, L"bShowLocalCluster=%i", bShowLocalCluster ? 1 : 0);
        TRACE_INFO(TRACE_NORMAL, L"bShowAll=%i", bShowAll ? 1 : 0);

        CLocalComputerNames localComputerNames;
        if (bShowAll) {
            TRACE_INFO(TRACE_NORMAL, L"Show all, OK");
            return Completed(S_OK);
        }
        if (const HRESULT hr = localComputerNames.Init(); FAILED(hr))
            return Abandoned(TraceFailedCall(hr, L"CLocalComputerNames.Init"));

        std::vector<std::wstring> servers;
        UTIL::DBConnectionHelper::GetServers(pstrServerName, servers);
        for (const std::wstring& strServer : servers) {
            TRACE_INFO(TRACE_NORMAL, L"Processing server: %ls", strServer.c_str());
            bool bIsLocalComputer = false;
            bool bIsLocalCluster = false;
            bool bIsRemote = false;
            // A name that only matches a node of the cluster counts as remote here.
            if (localComputerNames.IsLocalComputer(strServer.c_str())) {
                TRACE_INFO(TRACE_NORMAL, L"Local computer");
                bIsLocalComputer = true;
            } else if (localComputerNames.IsLocalCluster(strServer.c_str())) {
                TRACE_INFO(TRACE_NORMAL, L"Local cluster");
                bIsLocalCluster = true;
            } else {
                TRACE_INFO(TRACE_NORMAL, L"Remote");
                bIsRemote = true;
            }
            TRACE_INFO(TRACE_NORMAL, L"bIsLocalComputer=%i", bIsLocalComputer ? 1 : 0);
            TRACE_INFO(TRACE_NORMAL, L"bIsRemote=%i", bIsRemote ? 1 : 0);
            TRACE_INFO(TRACE_NORMAL, L"bIsLocalCluster=%i", bIsLocalCluster ? 1 : 0);

            bool bWrite = false;
            if (bShowRemote && bIsRemote) {
                TRACE_INFO(TRACE_NORMAL, L"Remote computer match");
                bWrite = true;
            } else if (bShowLocalComputer && bIsLocalComputer) {
                TRACE_INFO(TRACE_NORMAL, L"Local computer match");
                bWrite = true;
            } else if (bShowLocalCluster && bIsLocalCluster) {
                TRACE_INFO(TRACE_NORMAL, L"Local cluster match");
                bWrite = true;
            }
            TRACE_INFO(TRACE_NORMAL, L"bWrite=%i", bWrite ? 1 : 0);
            if (!bWrite) {
                TRACE_ERROR(TRACE_FAILURE, L"Server name does not match the expected type.");
                return Abandoned(E_INVALIDARG);
            }
        }
        return Completed(S_OK);
    });
}

} // namespace Keeplibs
