#pragma once
// The system's own exception classes: a failure with an HRESULT, and a Win32 failure.

#include "common/HResult.h"

#include <exception>
#include <string>

namespace UTIL::ERR {

class CComException : public std::exception
{
public:
    CComException(const char* szText, HRESULT hr);
    const char* what() const noexcept override { return m_strMessage.c_str(); }
    virtual HRESULT GetHResult() const noexcept { return m_hr; }

private:
    std::string m_strMessage;
    HRESULT m_hr;
};

// Not a CComException: callers that map exceptions to results see it as a standard exception.
class CWindowsException : public std::exception
{
public:
    CWindowsException(const char* szName, DWORD dwError);
    const char* what() const noexcept override { return m_strMessage.c_str(); }
    // The Win32 code itself, not an HRESULT.
    virtual DWORD GetHResult() const noexcept { return m_dwError; }

private:
    std::string m_strMessage;
    DWORD m_dwError;
};

} // namespace UTIL::ERR
