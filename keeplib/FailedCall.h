#pragma once
// The lines an operation traces for a call or an expression that failed, before it returns or
// raises the failure. Each line carries the file and line of the place that checked the result,
// as the call frame's own lines do: the default arguments are evaluated there.

#include "common/ComError.h"
#include "trace/ICDebug.h"

#include <string_view>

namespace Keeplibs {

// Traces "<call> failed with hr=(0x…)." and returns hr, for the caller to return or raise.
inline HRESULT TraceFailedCall(HRESULT hr, std::wstring_view call, const char* szFile = __builtin_FILE(),
                               int iLine = __builtin_LINE()) noexcept
{
    TraceLog().LogError(szFile, iLine, TRACE_FAILURE, L"%.*ls failed with hr=(0x%08x).", static_cast<int>(call.size()),
                        call.data(), HResultBits(hr));
    return hr;
}

// Traces "<expression> hr=0x…", naming the expression that produced hr, and returns hr.
inline HRESULT TraceFailedResult(HRESULT hr, std::wstring_view expression, const char* szFile = __builtin_FILE(),
                                 int iLine = __builtin_LINE()) noexcept
{
    TraceLog().LogError(szFile, iLine, TRACE_NORMAL, L"%.*ls hr=0x%.8X", static_cast<int>(expression.size()),
                        expression.data(), HResultBits(hr));
    return hr;
}

// Raises a failed hr as a _com_error, traced first as TraceFailedResult traces it.
inline void RaiseIfFailed(HRESULT hr, std::wstring_view expression, const char* szFile = __builtin_FILE(),
                          int iLine = __builtin_LINE())
{
    if (FAILED(hr))
        throw UTIL::COM::_com_error(TraceFailedResult(hr, expression, szFile, iLine));
}

} // namespace Keeplibs
