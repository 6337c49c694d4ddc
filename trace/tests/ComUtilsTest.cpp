#include "trace/ComUtils.h"
#include "platform/ComApartment.h"
#include "testsupport/TraceCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using UTIL::COM::_com_error;
using UTIL::COM::CCoInitialize;

namespace {

// Runs the check on a thread of its own, so that every case starts without COM.
template <class Body> void OnNewThread(Body&& body)
{
    std::thread(std::forward<Body>(body)).join();
}

HRESULT ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

} // namespace

TEST(CCoInitialize, ChangedModeFailsOnlyWhenAskedTo)
{
    OnNewThread([] {
        ASSERT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(ErrorOf([] { CCoInitialize com(platform::COINIT_MULTITHREADED, true); }), RPC_E_CHANGED_MODE);
        {
            const CCoInitialize tolerant(platform::COINIT_MULTITHREADED, false);
        }
        // The tolerant one did not uninitialise: the thread is still single-threaded, once.
        EXPECT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED), S_FALSE);
        platform::CoUninitialize();
        platform::CoUninitialize();
        EXPECT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED), S_OK);
        platform::CoUninitialize();
    });
}

TEST(CCoInitialize, AChangedModeTracesTheConditionAsWritten)
{
    const testsupport::TraceCapture trace;
    OnNewThread([] {
        ASSERT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED), S_OK);
        ErrorOf([] { CCoInitialize com(platform::COINIT_MULTITHREADED, true); });
        platform::CoUninitialize();
    });
    const std::vector<std::string> messages = trace.Messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "ERR: Failed '! (SUCCEEDED(m_hr) || ( (m_hr == RPC_E_CHANGED_MODE) && ! bFailOnChangedMode))' "
                        ": Win32 error 0x80010106"),
              messages.end());
}

TEST(CCoInitialize, NestedInitialisationUninitialisesOncePerObject)
{
    OnNewThread([] {
        const testsupport::TraceCapture trace;
        {
            const CCoInitialize outer(platform::COINIT_MULTITHREADED, true);
            {
                const CCoInitialize inner(platform::COINIT_MULTITHREADED, true);
            }
            EXPECT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED), S_FALSE);
            platform::CoUninitialize();
        }
        EXPECT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED), S_OK);
        platform::CoUninitialize();
        const auto messages = trace.Messages();
        ASSERT_GE(messages.size(), 5u);
        EXPECT_EQ(messages[0], "INF: + Entering Function : UTIL::COM::CCoInitialize::CCoInitialize()");
        EXPECT_EQ(messages[1], "INF: m_hr=0x00000000");
        EXPECT_EQ(messages[4], "INF: m_hr=0x00000001");
    });
}

TEST(ThrowCheckFailure, TracesTheConditionAndThrowsItsCode)
{
    const testsupport::TraceCapture trace;
    const wchar_t* pstrServerName = nullptr;
    EXPECT_EQ(ErrorOf([&] { THROW_CHECK_FAILURE_IF(!pstrServerName, E_POINTER); }), E_POINTER);
    EXPECT_EQ(ErrorOf([] { UTIL::COM::ThrowCheckFailure(S_OK, 1, "x.cpp", "wszSource == NULL"); }), E_UNEXPECTED);
    EXPECT_EQ(ErrorOf([] { UTIL::COM::ThrowIfFailed(S_FALSE); }), S_OK);
    EXPECT_EQ(ErrorOf([] { UTIL::COM::ThrowIfFailed(E_FAIL); }), E_FAIL);
    EXPECT_EQ(trace.Messages(),
              (std::vector<std::string>{
                  "ERR: Failed '!pstrServerName' : Win32 error 0x80004003",
                  "ERR: Failed 'wszSource == NULL' : Win32 non-error 0x00000000 ; throwing E_UNEXPECTED",
              }));
}
