#include "common/Exceptions.h"

#include "common/StringUtils.h"

namespace UTIL::ERR {

CComException::CComException(const char* szText, HRESULT hr)
    : m_strMessage(FormatA("%s, hr = 0x%X", szText ? szText : "", HResultBits(hr))), m_hr(hr)
{
}

CWindowsException::CWindowsException(const char* szName, DWORD dwError)
    : m_strMessage(FormatA("%s, dwError = %u", szName ? szName : "", dwError)), m_dwError(dwError)
{
}

} // namespace UTIL::ERR
