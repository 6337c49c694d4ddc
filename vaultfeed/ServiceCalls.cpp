#include "vaultfeed/ServiceCalls.h"

#include "common/StringUtils.h"

namespace Vaultfeed {

std::wstring ComErrorText(const UTIL::COM::_com_error& e)
{
    // The source and the description are the service's (or whoever answers in its name) and reach
    // a terminal or a window as they are written here.
    return FormatW(L"Com Error:0x%08x,'%ls','%ls','%ls'", HResultBits(e.Error()), e.ErrorMessage().c_str(),
                   EscapeControlCharacters(std::wstring_view(e.Source())).c_str(),
                   EscapeControlCharacters(std::wstring_view(e.Description())).c_str());
}

void RaiseFailure(HRESULT hr)
{
    std::optional<platform::ErrorInfo> info = platform::GetErrorInfo();
    if (!info)
        throw UTIL::COM::_com_error(hr);
    throw UTIL::COM::_com_error(hr, std::move(info->strSource), std::move(info->strDescription));
}

HRESULT Query(const UnknownPtr& pObject, const IID& iid, UnknownPtr& pInterface)
{
    return pObject ? pObject->QueryInterface(iid, pInterface) : E_POINTER;
}

} // namespace Vaultfeed
