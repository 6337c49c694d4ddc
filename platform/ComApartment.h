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

// The logical thread identifier of the calling thread: made at random on first request and
// kept for the thread's life.
HRESULT CoGetCurrentLogicalThreadId(GUID* pguid);

// The braced form, 38 characters: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring StringFromGUID(const GUID& guid);

} // namespace platform
