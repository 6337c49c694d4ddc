#include "ComputerName.h"

#include "common/Exceptions.h"
#include "platform/Win32Error.h"
#include "platform/netapi/NetApi.h"

#include <vector>

namespace Vaultfeed {
namespace {

// No name is longer than a counted string of the system can hold: an answer that still does not
// fit is a broken one, not a reason to grow for ever.
constexpr std::size_t kLongestName = 32767;

} // namespace

std::wstring NetBiosComputerName()
{
    std::vector<wchar_t> buffer(16);
    for (;;) {
        DWORD nSize = static_cast<DWORD>(buffer.size());
        const DWORD dwError = platform::netapi::CurrentNetApi().GetComputerNameExW(
            platform::netapi::ComputerNameNetBIOS, buffer.data(), &nSize);
        if (dwError == platform::ERROR_SUCCESS)
            return std::wstring(buffer.data(), nSize);
        if (dwError != platform::ERROR_MORE_DATA || buffer.size() > kLongestName)
            throw UTIL::ERR::CWindowsException("GetComputerNameExW", dwError);
        buffer.resize(buffer.size() + 1024);
    }
}

} // namespace Vaultfeed
