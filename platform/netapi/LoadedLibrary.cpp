#include "LoadedLibrary.h"

#include <dlfcn.h>

namespace platform::netapi {

std::shared_ptr<void> OpenLibrary(std::initializer_list<const char*> sonames)
{
    for (const char* szSoname : sonames) {
        // RTLD_LOCAL: the library's symbols stay its own, whatever else the process has loaded.
        // RTLD_NODELETE: it stays mapped when the table goes. Kerberos and Samba register
        // thread-specific data and exit handlers whose code must still be there when a thread,
        // or the process, ends after the last table went.
        if (void* const pHandle = ::dlopen(szSoname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
            return std::shared_ptr<void>(pHandle, [](void* p) { ::dlclose(p); });
    }
    return nullptr;
}

void* FindCall(const std::shared_ptr<void>& pLibrary, const char* szName)
{
    return ::dlsym(pLibrary.get(), szName);
}

} // namespace platform::netapi
