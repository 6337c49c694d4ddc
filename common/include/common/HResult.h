#pragma once
// HRESULT values with their Windows meanings, and the Win32-to-HRESULT rule.

#include <cstdint>

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;

constexpr HRESULT MakeHResult(std::uint32_t uCode)
{
    return static_cast<HRESULT>(uCode);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
constexpr HRESULT DB_E_ERRORSINCOMMAND = MakeHResult(0x80040E14);
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHResult(0x80010106);
// What COM answers when a server cannot be reached or misbehaves.
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108);
constexpr HRESULT RPC_E_TIMEOUT = MakeHResult(0x8001011F);
constexpr HRESULT RPC_E_INVALID_DATAPACKET = MakeHResult(0x80010009);
constexpr HRESULT RPC_E_SERVER_UNAVAILABLE = MakeHResult(0x800706BA); // HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

// A positive Win32 code becomes 0x8007xxxx; zero and negative values pass unchanged.
constexpr HRESULT HRESULT_FROM_WIN32(std::int64_t lCode)
{
    if (lCode <= 0)
        return static_cast<HRESULT>(lCode);
    return MakeHResult(0x80070000u | (static_cast<std::uint32_t>(lCode) & 0xFFFFu));
}

// The 32 bits of an HRESULT as printed in hexadecimal.
constexpr std::uint32_t HResultBits(HRESULT hr)
{
    return static_cast<std::uint32_t>(hr);
}

// Exit status of a program whose result is an HRESULT: a non-negative result is the status
// itself; a failure gives its low byte, or 255 where that byte would read as 0 or 1.
constexpr int ExitStatusFromHResult(HRESULT hr)
{
    if (hr >= 0)
        return hr > 255 ? 255 : hr;
    const int iLowByte = static_cast<int>(HResultBits(hr) & 0xFFu);
    return iLowByte <= 1 ? 255 : iLowByte;
}
