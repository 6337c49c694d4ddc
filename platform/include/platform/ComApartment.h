#pragma once
// COM apartments as the system uses them: a per-thread initialisation count and mode, with the
// results of CoInitializeEx, and the logical thread identifier of a thread.

#include "common/HResult.h"

#include <array>
#include <cstdint>
#include <string>

namespace platform {

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

// S_OK the first time on a thread, S_FALSE when already initialised in that mode,
// RPC_E_CHANGED_MODE when initialised in the other mode.
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
// Undoes one successful CoInitializeEx of this thread.
void CoUninitialize();

struct GUID
{
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::array<std::uint8_t, 8> Data4;

    bool operator==(const GUID&) const = default;
};

// Initialises COM on the calling thread for the object's lifetime, in programs that keep no
// trace log (the traced form is UTIL::COM::CCoInitialize). Throws _com_error with the result of
// CoInitializeEx when it failed, unless the thread was already in the other mode and
// bFailOnChangedMode is false; the thread is then left as it was.
class CComApartment
{
public:
    CComApartment(DWORD dwCoInit, bool bFailOnChangedMode);
    ~CComApartment();
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    HRESULT m_hr;
};

// A GUID from its 36 characters of text, XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX, at compile time.
consteval GUID GuidFromText(const char (&szText)[37])
{
    auto hexDigit = [](char c) -> std::uint32_t {
        if (c >= '0' && c <= '9')
            return static_cast<std::uint32_t>(c - '0');
        if (c >= 'A' && c <= 'F')
            return static_cast<std::uint32_t>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f')
            return static_cast<std::uint32_t>(c - 'a' + 10);
        throw "not a hexadecimal digit";
    };
    // The positions of the 32 digits, skipping the four hyphens.
    std::array<std::uint32_t, 32> digits{};
    std::size_t iDigit = 0;
    for (std::size_t i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (szText[i] != '-')
                throw "a hyphen is missing";
            continue;
        }
        digits[iDigit++] = hexDigit(szText[i]);
    }
    auto number = [&](std::size_t iFirst, std::size_t nDigits) {
        std::uint32_t uValue = 0;
        for (std::size_t i = iFirst; i < iFirst + nDigits; ++i)
            uValue = uValue << 4 | digits[i];
        return uValue;
    };
    GUID guid{number(0, 8), static_cast<std::uint16_t>(number(8, 4)), static_cast<std::uint16_t>(number(12, 4)), {}};
    for (std::size_t i = 0; i < guid.Data4.size(); ++i)
        guid.Data4[i] = static_cast<std::uint8_t>(number(16 + 2 * i, 2));
    return guid;
}

// The logical thread identifier of the calling thread: made at random on first request and
// kept for the thread's life.
HRESULT CoGetCurrentLogicalThreadId(GUID* pguid);

// The braced form, 38 characters: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring StringFromGUID(const GUID& guid);

} // namespace platform
