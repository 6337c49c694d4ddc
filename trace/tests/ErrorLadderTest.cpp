#include "common/ErrorLadder.h"
#include "common/ComError.h"
#include "common/Exceptions.h"
#include "testsupport/TraceCapture.h"
#include "trace/TracedErrorLadder.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

using namespace UTIL::ERR;

namespace {

struct LadderCase
{
    const char* szName;
    std::function<void()> throwIt;
    ExceptionKind kind;
    HRESULT hr;
    std::vector<std::string> lines;
};

} // namespace

TEST(ErrorLadder, EachKindOfExceptionGivesItsResultAndTraceLines)
{
    const LadderCase cases[] = {
        {"com error",
         [] { throw UTIL::COM::_com_error(E_INVALIDARG); },
         ExceptionKind::ComError,
         E_INVALIDARG,
         {"ERR: COM error: 0x80070057 ('The parameter is incorrect.')"}},
        {"unknown com code",
         [] { throw UTIL::COM::_com_error(DB_E_ERRORSINCOMMAND); },
         ExceptionKind::ComError,
         DB_E_ERRORSINCOMMAND,
         {"ERR: COM error: 0x80040E14 ('Unknown error 0x80040E14')"}},
        {"atl",
         [] { throw UTIL::COM::CAtlException(E_POINTER); },
         ExceptionKind::AtlException,
         E_POINTER,
         {"ERR: ATL exception: 0x80004003"}},
        {"com exception",
         [] { throw CComException("CreateInstance (Command)", MakeHResult(0x80040154)); },
         ExceptionKind::ComException,
         MakeHResult(0x80040154),
         {"ERR: COM exception: CreateInstance (Command), hr = 0x80040154"}},
        {"bad_alloc",
         [] { throw std::bad_alloc(); },
         ExceptionKind::BadAlloc,
         E_OUTOFMEMORY,
         {"ERR: bad_alloc exception caught"}},
        {"windows exception",
         [] { throw CWindowsException("ReadFile", 38); },
         ExceptionKind::Standard,
         E_FAIL,
         {"ERR: Standard exception: ReadFile, dwError = 38"}},
        {"runtime_error",
         [] { throw std::runtime_error("broken"); },
         ExceptionKind::Standard,
         E_FAIL,
         {"ERR: Standard exception: broken"}},
        {"int",
         [] { throw 42; },
         ExceptionKind::Unknown,
         E_UNEXPECTED,
         {"ERR: Unknown exception", "ERR: *** ASSERTION ***"}},
    };
    for (const LadderCase& c : cases) {
        SCOPED_TRACE(c.szName);
        try {
            c.throwIt();
        } catch (...) {
            const CaughtException caught = ClassifyCurrentException();
            EXPECT_EQ(caught.kind, c.kind);
            EXPECT_EQ(caught.hr, c.hr);
        }
        const testsupport::TraceCapture trace;
        try {
            c.throwIt();
        } catch (...) {
            EXPECT_EQ(TRACE_CAUGHT_EXCEPTION(), c.hr);
        }
        EXPECT_EQ(trace.Messages(), c.lines);
    }
}

TEST(ErrorLadder, WindowsExceptionKeepsItsWin32Code)
{
    const CWindowsException e("CreateFileW", 5);
    EXPECT_STREQ(e.what(), "CreateFileW, dwError = 5");
    EXPECT_EQ(e.GetHResult(), 5u);
}
