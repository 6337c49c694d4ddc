#include "GetComputerClusterName.h"

#include "common/Exceptions.h"
#include "platform/Win32Error.h"
#include "trace/TraceScope.h"

#include <vector>

namespace UTIL::SERVERNAME {

std::wstring GetComputerClusterName(platform::netapi::COMPUTER_NAME_FORMAT nameFormat)
{
    TRACE_SCOPE(L"UTIL::SERVERNAME::GetComputerClusterName()");
    TRACE_INFO(TRACE_NORMAL, L"Allocate initial buffer");
    std::vector<wchar_t> vecBuffer(16);
    DWORD dwBufferSize = 0;
    for (;;) {
        dwBufferSize = static_cast<DWORD>(vecBuffer.size());
        TRACE_INFO(TRACE_NORMAL, L"dwBufferSize=%lu", static_cast<unsigned long>(dwBufferSize));
        const DWORD dwError =
            platform::netapi::CurrentNetApi().GetComputerNameExW(nameFormat, vecBuffer.data(), &dwBufferSize);
        const bool bResult = dwError == platform::ERROR_SUCCESS;
        TRACE_INFO(TRACE_NORMAL, L"bResult=%i", bResult ? 1 : 0);
        if (bResult)
            break;
        TRACE_INFO(TRACE_NORMAL, L"dwError=%lu", static_cast<unsigned long>(dwError));
        if (dwError != platform::ERROR_MORE_DATA)
            throw UTIL::ERR::CWindowsException("GetComputerNameExT", dwError);
        // The size the failed call reports is not trusted: the buffer grows a chunk at a time.
        if (vecBuffer.size() > 0xFFFFFBFFu) {
            if (vecBuffer.size() == 0xFFFFFFFFu) {
                TRACE_ERROR(TRACE_NORMAL, L"Even biggest possible buffer is too small");
                throw UTIL::ERR::CWindowsException("GetComputerNameExT", platform::ERROR_MORE_DATA);
            }
            TRACE_INFO(TRACE_NORMAL, L"Try the biggest buffer possible");
            vecBuffer.resize(0xFFFFFFFFu);
        } else {
            TRACE_INFO(TRACE_NORMAL, L"Add a chunk to the buffer");
            vecBuffer.resize(vecBuffer.size() + 1024);
        }
    }
    std::wstring strName(vecBuffer.data(), dwBufferSize);
    TRACE_INFO(TRACE_NORMAL, L"Returning, vecBuffer='%ls'", strName.c_str());
    return strName;
}

} // namespace UTIL::SERVERNAME
