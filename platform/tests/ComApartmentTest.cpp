#include "platform/ComApartment.h"

#include "common/ComError.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

using namespace platform;

namespace {

std::wstring LogicalThreadId()
{
    GUID guid{};
    EXPECT_EQ(CoGetCurrentLogicalThreadId(&guid), S_OK);
    return StringFromGUID(guid);
}

} // namespace

TEST(ComApartment, InitialisationCountsPerThreadAndRefusesTheOtherMode)
{
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize();
        // Fully uninitialised: either mode may start again.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    }).join();
    std::thread([] {
        // Another thread starts uninitialised.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        CoUninitialize();
    }).join();
}

TEST(ComApartment, ScopeUninitialisesOnlyWhatItInitialisedAndRefusesTheOtherModeWhenAsked)
{
    std::thread([] {
        {
            const CComApartment outer(COINIT_APARTMENTTHREADED, true);
            {
                const CComApartment inner(COINIT_APARTMENTTHREADED, true);
            }
            // The inner scope undid only its own initialisation: the thread is still single-threaded.
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
            {
                const CComApartment tolerated(COINIT_MULTITHREADED, false);
            }
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
            CoUninitialize();
            try {
                const CComApartment refused(COINIT_MULTITHREADED, true);
                ADD_FAILURE() << "the other mode was accepted";
            } catch (const UTIL::COM::_com_error& error) {
                EXPECT_EQ(error.Error(), RPC_E_CHANGED_MODE);
            }
        }
        // Fully uninitialised again.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
}

TEST(ComApartment, LogicalThreadIdIsABracedGuidKeptPerThread)
{
    const std::wstring strFirst = LogicalThreadId();
    EXPECT_EQ(LogicalThreadId(), strFirst);
    EXPECT_TRUE(
        std::regex_match(std::string(strFirst.begin(), strFirst.end()),
                         std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")));
    std::wstring strOther;
    std::thread([&] { strOther = LogicalThreadId(); }).join();
    EXPECT_NE(strOther, strFirst);
    EXPECT_EQ(CoGetCurrentLogicalThreadId(nullptr), E_INVALIDARG);
}

TEST(ComApartment, GuidTextHasWindowsLayout)
{
    const GUID guid{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    EXPECT_EQ(StringFromGUID(guid), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");
}

TEST(ComApartment, GuidFromTextReadsTheTextThatStringFromGuidWrites)
{
    constexpr GUID kGuid = GuidFromText("01234567-89ab-CDEF-0123-456789ABCDEF");
    EXPECT_EQ(kGuid, (GUID{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}}));
    EXPECT_EQ(StringFromGUID(GuidFromText("FE4F5263-11D5-4724-95BA-A978983B6369")),
              L"{FE4F5263-11D5-4724-95BA-A978983B6369}");
}
