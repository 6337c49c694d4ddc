#include "trace/ComUtils.h"

#include "common/StringUtils.h"
#include "platform/ComApartment.h"
#include "trace/TraceScope.h"

namespace UTIL::COM {

CCoInitialize::CCoInitialize(DWORD dwCoInit, bool bFailOnChangedMode)
    : m_hr(platform::CoInitializeEx(nullptr, dwCoInit))
{
    TRACE_SCOPE(L"UTIL::COM::CCoInitialize::CCoInitialize()");
    TRACE_INFO(TRACE_NORMAL, L"m_hr=0x%08X", HResultBits(m_hr));
    // The condition is traced as it is written here.
    // clang-format off
    THROW_CHECK_FAILURE_IF(! (SUCCEEDED(m_hr) || ( (m_hr == RPC_E_CHANGED_MODE) && ! bFailOnChangedMode)), m_hr);
    // clang-format on
}

CCoInitialize::~CCoInitialize()
{
    TRACE_SCOPE(L"UTIL::COM::CCoInitialize::~CCoInitialize()");
    if (SUCCEEDED(m_hr))
        platform::CoUninitialize();
}

void ThrowCheckFailure(HRESULT hr, int iLine, const char* szSourceFile, const char* szExpression)
{
    const std::wstring strExpression = NarrowToWide(szExpression ? szExpression : "");
    if (FAILED(hr)) {
        TraceLog().LogError(szSourceFile, iLine, TRACE_NORMAL, L"Failed '%ls' : Win32 error 0x%08x",
                            strExpression.c_str(), HResultBits(hr));
        throw _com_error(hr);
    }
    TraceLog().LogError(szSourceFile, iLine, TRACE_NORMAL,
                        L"Failed '%ls' : Win32 non-error 0x%08x ; throwing E_UNEXPECTED", strExpression.c_str(),
                        HResultBits(hr));
    throw _com_error(E_UNEXPECTED);
}

} // namespace UTIL::COM
