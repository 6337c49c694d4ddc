#include "CallFrame.h"
#include "common/ComError.h"
#include "common/Exceptions.h"
#include "common/StringUtils.h"
#include "testsupport/TraceCapture.h"
#include "trace/TraceScope.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

using namespace Keeplibs;

namespace {

struct FrameCase
{
    const char* szName;
    std::function<FrameOutcome()> body;
    HRESULT hr;
    std::vector<std::string> lines;
};

} // namespace

TEST(CallFrame, TurnsEveryEndOfTheBodyIntoAResultWithItsTraceLines)
{
    const FrameCase cases[] = {
        {"completed", [] { return Completed(); }, S_OK, {"INF: Success", "INF: Returing, hrResult=0x00000000"}},
        {"completed with S_FALSE",
         [] { return Completed(S_FALSE); },
         S_FALSE,
         {"INF: Success", "INF: Returing, hrResult=0x00000001"}},
        {"abandoned", [] { return Abandoned(E_INVALIDARG); }, E_INVALIDARG, {}},
        {"bad_alloc",
         []() -> FrameOutcome { throw std::bad_alloc(); },
         E_OUTOFMEMORY,
         {"ERR: bad_alloc exception caught", "INF: Returing, hrResult=0x8007000E"}},
        {"runtime_error",
         []() -> FrameOutcome { throw std::runtime_error("lost"); },
         E_FAIL,
         {"ERR: Standard exception: lost", "INF: Returing, hrResult=0x80004005"}},
        {"com exception",
         []() -> FrameOutcome { throw UTIL::ERR::CComException("Open", E_POINTER); },
         E_POINTER,
         {"ERR: COM exception: Open, hr = 0x80004003", "INF: Returing, hrResult=0x80004003"}},
        {"windows exception",
         []() -> FrameOutcome { throw UTIL::ERR::CWindowsException("ReadFile", 5); },
         E_FAIL,
         {"ERR: Standard exception: ReadFile, dwError = 5", "INF: Returing, hrResult=0x80004005"}},
        {"com error",
         []() -> FrameOutcome { throw UTIL::COM::_com_error(DB_E_ERRORSINCOMMAND); },
         DB_E_ERRORSINCOMMAND,
         {"ERR: COM error: 0x80040E14 ('Unknown error 0x80040E14')", "INF: Returing, hrResult=0x80040E14"}},
        {"anything else",
         []() -> FrameOutcome { throw 1; },
         E_UNEXPECTED,
         {"ERR: Unknown exception", "ERR: *** ASSERTION ***", "INF: Returing, hrResult=0x8000FFFF"}},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.szName);
        const testsupport::TraceCapture trace;
        EXPECT_EQ(RunInCallFrame(ResultLine::Returing, c.body), c.hr);
        EXPECT_EQ(trace.Messages(), c.lines);
    }
}

TEST(CallFrame, ResultLineFollowsTheOperation)
{
    const testsupport::TraceCapture trace;
    EXPECT_EQ(RunInCallFrame(ResultLine::Returning, [] { return Completed(); }), S_OK);
    EXPECT_EQ(RunInCallFrame(ResultLine::None, [] { return Completed(S_FALSE); }), S_FALSE);
    EXPECT_EQ(trace.Messages(),
              (std::vector<std::string>{"INF: Success", "INF: Returning, hrResult=0x00000000", "INF: Success"}));
}

TEST(CallFrame, ItsLinesCarryTheOperationsFileAndLine)
{
    const testsupport::TraceCapture trace;
    const int iLine = __LINE__ + 1;
    RunInCallFrame(ResultLine::Returing, []() -> FrameOutcome { throw std::runtime_error("lost"); });
    const std::vector<std::string> lines = trace.Lines();
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string& strLine : lines) {
        EXPECT_EQ(strLine.substr(0, 21), "CallFrameTest.cpp    ") << strLine;
        EXPECT_NE(strLine.find(FormatA(" ln:%05d ", iLine)), std::string::npos) << strLine;
    }
}
