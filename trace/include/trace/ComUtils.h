#pragma once
// The COM apartment of a thread, and the checks that turn a failed condition or HRESULT into a
// traced COM error.

#include "common/ComError.h"
#include "common/HResult.h"

namespace UTIL::NOCOPY {
class noncopyable
{
protected:
    noncopyable() = default;
    ~noncopyable() = default;

public:
    noncopyable(const noncopyable&) = delete;
    noncopyable& operator=(const noncopyable&) = delete;
};
} // namespace UTIL::NOCOPY

namespace UTIL::COM {

// Initialises COM on the calling thread for its lifetime. A thread already in the other mode is
// accepted only when bFailOnChangedMode is false, and is then left as it was.
class CCoInitialize : private UTIL::NOCOPY::noncopyable
{
public:
    CCoInitialize(DWORD dwCoInit, bool bFailOnChangedMode);
    virtual ~CCoInitialize();

private:
    HRESULT m_hr;
};

// Traces the failed condition at the caller's place and throws _com_error(hr), or E_UNEXPECTED
// when hr is not a failure.
[[noreturn]] void ThrowCheckFailure(HRESULT hr, int iLine, const char* szSourceFile, const char* szExpression);

} // namespace UTIL::COM

// Fails with hr when the condition holds; the trace names the condition as written.
#define THROW_CHECK_FAILURE_IF(condition, hr)                                                                          \
    do {                                                                                                               \
        if (condition)                                                                                                 \
            ::UTIL::COM::ThrowCheckFailure((hr), __LINE__, __FILE__, #condition);                                      \
    } while (false)
