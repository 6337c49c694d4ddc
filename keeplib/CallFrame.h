#pragma once
// The frame every operation runs in: it turns each exception into an HRESULT with its trace line
// and traces the result, so that no exception ever leaves the library.

#include "trace/ICDebug.h"
#include "trace/TracedErrorLadder.h"

namespace Keeplibs {

// How an operation's body ended.
struct FrameOutcome
{
    HRESULT hr;
    bool bCompleted; // false: a failure the body has traced itself, returned at once
};

// The work is done: the frame traces "Success" and the result, and returns hr.
inline FrameOutcome Completed(HRESULT hr = S_OK)
{
    return {hr, true};
}
// The body stopped on a failure it has traced: hr is returned without the result line.
inline FrameOutcome Abandoned(HRESULT hr)
{
    return {hr, false};
}

// The result line the operation writes: database operations spell it as they always have.
enum class ResultLine { Returing, Returning, None };

// The frame's own lines carry the operation's file and line, where it called the frame: the
// default arguments are evaluated there. (std::source_location is not there yet in every
// compiler of the build; these built-ins are in both.)
template <class Body>
HRESULT RunInCallFrame(ResultLine resultLine, Body&& body, const char* szFile = __builtin_FILE(),
                       int iLine = __builtin_LINE()) noexcept
{
    HRESULT hrResult = E_UNEXPECTED;
    try {
        const FrameOutcome outcome = body();
        if (!outcome.bCompleted)
            return outcome.hr;
        TraceLog().LogInfo(szFile, iLine, TRACE_NORMAL, L"Success");
        hrResult = outcome.hr;
    } catch (...) {
        hrResult = TraceCaughtException(szFile, iLine);
    }
    if (resultLine == ResultLine::Returing)
        TraceLog().LogInfo(szFile, iLine, TRACE_NORMAL, L"Returing, hrResult=0x%08X", HResultBits(hrResult));
    else if (resultLine == ResultLine::Returning)
        TraceLog().LogInfo(szFile, iLine, TRACE_NORMAL, L"Returning, hrResult=0x%08X", HResultBits(hrResult));
    return hrResult;
}

} // namespace Keeplibs
