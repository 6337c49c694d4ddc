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
template <class Function>
bool Find(const std::shared_ptr<void>& pLibrary, const char* szName, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(pLibrary.get(), szName));
    return function != nullptr;
}

} // namespace

LoadedCalls<WinbindCalls> LoadWinbindCalls()
{
    LoadedCalls<WinbindCalls> loaded;
    loaded.pLibrary = OpenLibrary("libwbclient.so.0");
    WinbindCalls calls{};
    if (loaded.pLibrary && Find(loaded.pLibrary, "wbcInterfaceDetails", calls.InterfaceDetails) &&
        Find(loaded.pLibrary, "wbcDomainInfo", calls.DomainInfo) &&
        Find(loaded.pLibrary, "wbcListTrusts", calls.ListTrusts) &&
        Find(loaded.pLibrary, "wbcLookupDomainController", calls.LookupDomainController) &&
        Find(loaded.pLibrary, "wbcFreeMemory", calls.FreeMemory))
        loaded.calls = calls;
    return loaded;
}

LoadedCalls<NetapiCalls> LoadNetapiCalls()
{
    LoadedCalls<NetapiCalls> loaded;
    loaded.pLibrary = OpenLibrary("libnetapi.so.1");
    NetapiCalls calls{};
    if (loaded.pLibrary && Find(loaded.pLibrary, "libnetapi_init", calls.Init) &&
        Find(loaded.pLibrary, "libnetapi_free", calls.Free) &&
        Find(loaded.pLibrary, "libnetapi_set_debuglevel", calls.SetDebuglevel) &&
        Find(loaded.pLibrary, "libnetapi_set_use_ccache", calls.SetUseCcache) &&
        Find(loaded.pLibrary, "NetGetJoinInformation", calls.GetJoinInformation) &&
        Find(loaded.pLibrary, "NetWkstaGetInfo", calls.WkstaGetInfo) &&
        Find(loaded.pLibrary, "NetApiBufferFree", calls.BufferFree))
        loaded.calls = calls;
    return loaded;
}

} // namespace platform::netapi
