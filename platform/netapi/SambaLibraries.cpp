#include "SambaLibraries.h"

namespace platform::netapi {

LoadedCalls<WinbindCalls> LoadWinbindCalls()
{
    return LoadCalls<WinbindCalls>({"libwbclient.so.0"}, [](const std::shared_ptr<void>& pLibrary,
                                                            WinbindCalls& calls) {
        return Find(pLibrary, "wbcInterfaceDetails", calls.InterfaceDetails) &&
               Find(pLibrary, "wbcDomainInfo", calls.DomainInfo) && Find(pLibrary, "wbcListTrusts", calls.ListTrusts) &&
               Find(pLibrary, "wbcLookupDomainController", calls.LookupDomainController) &&
               Find(pLibrary, "wbcFreeMemory", calls.FreeMemory);
    });
}

LoadedCalls<NetapiCalls> LoadNetapiCalls()
{
    return LoadCalls<NetapiCalls>({"libnetapi.so.1"}, [](const std::shared_ptr<void>& pLibrary, NetapiCalls& calls) {
        return Find(pLibrary, "libnetapi_init", calls.Init) && Find(pLibrary, "libnetapi_free", calls.Free) &&
               Find(pLibrary, "libnetapi_set_debuglevel", calls.SetDebuglevel) &&
               Find(pLibrary, "libnetapi_set_password", calls.SetPassword) &&
               Find(pLibrary, "libnetapi_set_use_kerberos", calls.SetUseKerberos) &&
               Find(pLibrary, "NetGetJoinInformation", calls.GetJoinInformation) &&
               Find(pLibrary, "NetWkstaGetInfo", calls.WkstaGetInfo) &&
               Find(pLibrary, "NetApiBufferFree", calls.BufferFree);
    });
}

} // namespace platform::netapi
