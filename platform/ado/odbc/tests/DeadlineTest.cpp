// The pieces that break off a call into the driver: the deadline that runs its steps unless the
// call ended first, and the driver's socket found and severed.

#include "Deadline.h"
#include "DriverSocket.h"
#include "testsupport/LoopbackSocket.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>

using namespace platform::ado::odbc;

namespace {

// A client socket connected to the loopback server.
CAutoFileHandle ConnectTo(const testsupport::CLoopbackSocket& server)
{
    CAutoFileHandle client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
    EXPECT_EQ(::connect(client.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return client;
}

} // namespace

TEST(Deadline, RunsItsStepsInOrderOnceTheirTimeIsUp)
{
    std::mutex lock;
    std::vector<int> ran;
    std::promise<void> done;
    const CDeadline deadline({{std::chrono::milliseconds(0),
                               [&] {
                                   const std::lock_guard guard(lock);
                                   ran.push_back(1);
                               }},
                              {std::chrono::milliseconds(10), [&] {
                                   {
                                       const std::lock_guard guard(lock);
                                       ran.push_back(2);
                                   }
                                   done.set_value();
                               }}});
    ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(deadline.Passed());
    const std::lock_guard guard(lock);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(Deadline, ACallThatEndsFirstTakesItsStepsWithIt)
{
    bool bRan = false;
    {
        const CDeadline deadline({{std::chrono::hours(1), [&] { bRan = true; }}});
        EXPECT_FALSE(deadline.Passed());
    }
    EXPECT_FALSE(bRan);
}

TEST(DriverSocket, TheOneNewStreamSocketIsFoundAndSevered)
{
    testsupport::CLoopbackSocket server;
    server.Listen();
    const CDriverSocket::Snapshot before = CDriverSocket::TakeSnapshot();
    EXPECT_FALSE(CDriverSocket::OpenedSince(before)) << "nothing new yet";

    const CAutoFileHandle client = ConnectTo(server);
    const std::optional<CDriverSocket> found = CDriverSocket::OpenedSince(before);
    ASSERT_TRUE(found);
    const CAutoFileHandle accepted = server.Accept(testsupport::kProgramHangGuard);
    ASSERT_TRUE(accepted);
    // The accepted end is a second new socket: which one is the driver's can no longer be told.
    EXPECT_FALSE(CDriverSocket::OpenedSince(before));

    found->Sever();
    char byte = 0;
    EXPECT_EQ(::recv(accepted.Get(), &byte, 1, 0), 0) << "the server sees the end of the stream";
    EXPECT_EQ(::recv(client.Get(), &byte, 1, 0), 0) << "the client's own reads end at once";
}
