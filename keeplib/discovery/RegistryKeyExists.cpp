#include "RegistryKeyExists.h"

#include "common/Exceptions.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"

namespace Keeplibs {

bool RegistryKeyExists(const platform::Registry& registry, std::wstring_view keyPath)
{
    platform::RegistryKey key;
    switch (const DWORD dwError = registry.OpenKey(keyPath, key)) {
    case platform::ERROR_SUCCESS:
    case platform::ERROR_ACCESS_DENIED:
        return true;
    case platform::ERROR_FILE_NOT_FOUND:
        return false;
    default:
        throw UTIL::ERR::CWindowsException(FormatA("RegOpenKeyEx (%s)", WideToNarrow(keyPath).c_str()).c_str(),
                                           dwError);
    }
}

} // namespace Keeplibs
