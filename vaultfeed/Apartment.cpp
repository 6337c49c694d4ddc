#include "Apartment.h"

#include "common/ComError.h"
#include "platform/ComApartment.h"

namespace Vaultfeed {

CCoInitialize::CCoInitialize(bool bFailOnChangedMode)
    : m_hr(platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED))
{
    if (!(SUCCEEDED(m_hr) || (m_hr == RPC_E_CHANGED_MODE && !bFailOnChangedMode)))
        throw UTIL::COM::_com_error(m_hr);
}

CCoInitialize::~CCoInitialize()
{
    if (SUCCEEDED(m_hr))
        platform::CoUninitialize();
}

} // namespace Vaultfeed
