// Whether an instance of a SQL Server registry name is installed on this computer, and whether
// as a clustered instance.

#include "CallFrame.h"
#include "FailedCall.h"
#include "RegistryKeyExists.h"
#include "ServerDiscovery.h"
#include "common/StringUtils.h"
#include "trace/TraceScope.h"

namespace Keeplibs {

HRESULT KeeplibGetLocalSqlServerType(const wchar_t* pstrServerName, std::int32_t* plType)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibGetLocalSqlServerType()");
    return RunInCallFrame(ResultLine::Returning, [&] {
        RaiseIfFailed(pstrServerName == nullptr ? E_POINTER : S_OK, L"pstrServerName == NULL ? E_POINTER : S_OK");
        RaiseIfFailed(plType == nullptr ? E_POINTER : S_OK, L"plType == NULL ? E_POINTER : S_OK");

        const std::wstring strInstanceKey = FormatW(L"SOFTWARE\\Microsoft\\Microsoft SQL Server\\%ls", pstrServerName);
        const std::wstring strVersionKey = FormatW(L"%ls\\MSSQLServer\\CurrentVersion", strInstanceKey.c_str());
        const platform::Registry registry = platform::Registry::LoadMachine();
        if (RegistryKeyExists(registry, strVersionKey)) {
            const std::wstring strClusterKey = FormatW(L"%ls\\Cluster", strInstanceKey.c_str());
            *plType = RegistryKeyExists(registry, strClusterKey) ? kServerTypeLocalCluster : kServerTypeLocalComputer;
            TRACE_INFO(TRACE_NORMAL, L"Local SQL server '%ls' is of type %d", pstrServerName, *plType);
        } else {
            *plType = 0;
            TRACE_INFO(TRACE_NORMAL, L"Local SQL server '%ls' is not present", pstrServerName);
        }
        return Completed(S_OK);
    });
}

} // namespace Keeplibs
