#pragma once
// The exception classes that COM support code throws: a failed HRESULT (as the compiler's COM
// support raises it) and the ATL one. Neither derives from std::exception, as on Windows.

#include "common/HResult.h"

#include <string>
#include <utility>

namespace UTIL::COM {

class _com_error
{
public:
    explicit _com_error(HRESULT hr) noexcept : m_hr(hr) {}
    // With the error information that the failing object left: who raised it, and its own text.
    _com_error(HRESULT hr, std::wstring strSource, std::wstring strDescription)
        : m_hr(hr), m_strSource(std::move(strSource)), m_strDescription(std::move(strDescription))
    {
    }
    HRESULT Error() const noexcept { return m_hr; }
    // The system's text for the code, as FormatMessage would give it.
    std::wstring ErrorMessage() const;
    // Empty without error information.
    const std::wstring& Source() const noexcept { return m_strSource; }
    const std::wstring& Description() const noexcept { return m_strDescription; }

private:
    HRESULT m_hr;
    std::wstring m_strSource;
    std::wstring m_strDescription;
};

class CAtlException
{
public:
    explicit CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    HRESULT GetHResult() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

// The system message text of an HRESULT; "Unknown error 0x%08X" for codes without one.
std::wstring SystemMessageText(HRESULT hr);

// Throws _com_error(hr) when hr is a failure.
inline void ThrowIfFailed(HRESULT hr)
{
    if (FAILED(hr))
        throw _com_error(hr);
}

} // namespace UTIL::COM
