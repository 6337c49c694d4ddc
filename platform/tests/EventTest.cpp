#include "platform/Event.h"

#include <gtest/gtest.h>

#include <thread>

using namespace platform;
using namespace std::chrono_literals;

TEST(AutoResetEvent, OneWaitConsumesEachSignal)
{
    CAutoResetEvent event;
    EXPECT_FALSE(event.Wait(0ms));
    event.Set();
    event.Set(); // a second signal before a wait is the same signal
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_FALSE(event.Wait(0ms));
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0ms));
}

TEST(AutoResetEvent, AWaitEndsWhenAnotherThreadSignals)
{
    CAutoResetEvent event;
    std::thread signaller([&] { event.Set(); });
    EXPECT_TRUE(event.Wait(60s));
    signaller.join();
    EXPECT_FALSE(event.Wait(0ms));
}
