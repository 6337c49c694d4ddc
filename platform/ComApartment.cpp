#include "platform/ComApartment.h"

#include "common/ComError.h"
#include "common/StringUtils.h"

#include <optional>
#include <random>

namespace platform {
namespace {

struct ApartmentState
{
    unsigned uInitCount = 0;
    DWORD dwMode = COINIT_MULTITHREADED;
};

thread_local ApartmentState t_apartment;
thread_local std::optional<GUID> t_logicalThreadId;

GUID NewRandomGuid()
{
    std::random_device random;
    std::uniform_int_distribution<unsigned> byte(0, 255);
    std::array<std::uint8_t, 16> bytes{};
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(byte(random));
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    GUID guid{};
    guid.Data1 = static_cast<std::uint32_t>(bytes[0] << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3]);
    guid.Data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.Data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (std::size_t i = 0; i < guid.Data4.size(); ++i)
        guid.Data4[i] = bytes[8 + i];
    return guid;
}

} // namespace

HRESULT CoInitializeEx(void* /*pvReserved*/, DWORD dwCoInit)
{
    const DWORD dwMode = (dwCoInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED;
    if (t_apartment.uInitCount == 0) {
        t_apartment = {1, dwMode};
        return S_OK;
    }
    if (t_apartment.dwMode != dwMode)
        return RPC_E_CHANGED_MODE;
    ++t_apartment.uInitCount;
    return S_FALSE;
}

void CoUninitialize()
{
    if (t_apartment.uInitCount > 0)
        --t_apartment.uInitCount;
}

CComApartment::CComApartment(DWORD dwCoInit, bool bFailOnChangedMode) : m_hr(CoInitializeEx(nullptr, dwCoInit))
{
    if (FAILED(m_hr) && (m_hr != RPC_E_CHANGED_MODE || bFailOnChangedMode))
        throw UTIL::COM::_com_error(m_hr);
}

CComApartment::~CComApartment()
{
    if (SUCCEEDED(m_hr))
        CoUninitialize();
}

HRESULT CoGetCurrentLogicalThreadId(GUID* pguid)
{
    if (!pguid)
        return E_INVALIDARG;
    if (!t_logicalThreadId)
        t_logicalThreadId = NewRandomGuid();
    *pguid = *t_logicalThreadId;
    return S_OK;
}

std::wstring StringFromGUID(const GUID& guid)
{
    return FormatW(L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2, guid.Data3,
                   guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                   guid.Data4[6], guid.Data4[7]);
}

} // namespace platform
