#pragma once
// The COM apartment of a vaultfeed thread: the apartment initialiser in its single-threaded form,
// without a trace log.

#include "common/HResult.h"

namespace Vaultfeed {

// Enters a single-threaded apartment for the calling thread's lifetime of the object, and leaves
// it at destruction when it was entered. Any failure throws _com_error, except a thread already in
// the multithreaded apartment when bFailOnChangedMode is false: it stays as it was.
class CCoInitialize
{
public:
    explicit CCoInitialize(bool bFailOnChangedMode);
    CCoInitialize(const CCoInitialize&) = delete;
    CCoInitialize& operator=(const CCoInitialize&) = delete;
    ~CCoInitialize();

private:
    HRESULT m_hr;
};

} // namespace Vaultfeed
