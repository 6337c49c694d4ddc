#include "SambaLibraries.h"

#include <dlfcn.h>

namespace platform::netapi {
namespace {

std::shared_ptr<void> OpenLibrary(const char* szSoname)
{
    void* const pHandle = ::dlopen(szSoname, RTLD_NOW | RTLD_LOCAL);
    if (!pHandle)
        return nullptr;
    return std::shared_ptr<void>(pHandle, [](void* p) { ::dlclose(p); });
}

// Fills one entry of a table; false when the library lacks the call.
template <class Function> bool Find(const std::shared_ptr<void>& pLibrary, const char* szName, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(pLibrary.get(), szName));
    return function != nullptr;
}

// Loads the library and fills the table; the calls are absent unless every one was found.
template <class Calls, class FindAll> LoadedCalls<Calls> LoadCalls(const char* szSoname, FindAll findAll)
{
    LoadedCalls<Calls> loaded;
    loaded.pLibrary = OpenLibrary(szSoname);
    Calls calls{};
    if (loaded.pLibrary && findAll(loaded.pLibrary, calls))
        loaded.calls = calls;
    return loaded;
}

} // namespace

LoadedCalls<WinbindCalls> LoadWinbindCalls()
{
    return LoadCalls<WinbindCalls>("libwbclient.so.0", [](const std::shared_ptr<void>& pLibrary, WinbindCalls& calls) {
        return Find(pLibrary, "wbcInterfaceDetails", calls.InterfaceDetails) &&
               Find(pLibrary, "wbcDomainInfo", calls.DomainInfo) && Find(pLibrary, "wbcListTrusts", calls.ListTrusts) &&
               Find(pLibrary, "wbcLookupDomainController", calls.LookupDomainController) &&
               Find(pLibrary, "wbcFreeMemory", calls.FreeMemory);
    });
}

LoadedCalls<NetapiCalls> LoadNetapiCalls()
{
    return LoadCalls<NetapiCalls>("libnetapi.so.1", [](const std::shared_ptr<void>& pLibrary, NetapiCalls& calls) {
        return Find(pLibrary, "libnetapi_init", calls.Init) && Find(pLibrary, "libnetapi_free", calls.Free) &&
               Find(pLibrary, "libnetapi_set_debuglevel", calls.SetDebuglevel) &&
               Find(pLibrary, "libnetapi_set_use_ccache", calls.SetUseCcache) &&
               Find(pLibrary, "NetGetJoinInformation", calls.GetJoinInformation) &&
               Find(pLibrary, "NetWkstaGetInfo", calls.WkstaGetInfo) &&
               Find(pLibrary, "NetApiBufferFree", calls.BufferFree);
    });
}

} // namespace platform::netapi
