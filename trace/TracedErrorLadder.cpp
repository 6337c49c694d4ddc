#include "trace/TracedErrorLadder.h"

#include "common/ErrorLadder.h"
#include "trace/ICDebug.h"

HRESULT TraceCaughtException(const char* szSourceFile, int iLine) noexcept
{
    using UTIL::ERR::ExceptionKind;
    const UTIL::ERR::CaughtException caught = UTIL::ERR::ClassifyCurrentException();
    ICDebug& log = TraceLog();
    switch (caught.kind) {
    case ExceptionKind::ComError:
        log.LogError(szSourceFile, iLine, TRACE_NORMAL, L"COM error: 0x%08X ('%ls')", HResultBits(caught.hr),
                     caught.strText.c_str());
        break;
    case ExceptionKind::AtlException:
        log.LogError(szSourceFile, iLine, TRACE_NORMAL, L"ATL exception: 0x%08X", HResultBits(caught.hr));
        break;
    case ExceptionKind::ComException:
        log.LogError(szSourceFile, iLine, TRACE_NORMAL, L"COM exception: %ls", caught.strText.c_str());
        break;
    case ExceptionKind::BadAlloc:
        log.LogError(szSourceFile, iLine, TRACE_NORMAL, L"bad_alloc exception caught");
        break;
    case ExceptionKind::Standard:
        log.LogError(szSourceFile, iLine, TRACE_NORMAL, L"Standard exception: %ls", caught.strText.c_str());
        break;
    case ExceptionKind::Unknown:
        log.LogError(szSourceFile, iLine, TRACE_FAILURE, L"Unknown exception");
        log.LogError(szSourceFile, iLine, TRACE_FAILURE, L"*** ASSERTION ***");
        break;
    }
    return caught.hr;
}
