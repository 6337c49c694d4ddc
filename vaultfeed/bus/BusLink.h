#pragma once
// One client connection to a bus, made, used and closed by one thread (sd-bus objects have no
// locks of their own). Every wait is bounded: connecting (the handshake and Hello, which sd-bus
// itself would wait for up to its authentication timeout) by a deadline, each call by its timeout.
// Interrupt, from any thread, ends the wait in progress and fails every later one.

#include "vaultfeed/bus/SdBus.h"

#include "common/HandleOwners.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace Vaultfeed::Bus {

// How one call ended: a reply, an error reply, or no reply at all.
struct CallResult
{
    MessagePtr reply;
    // An error reply's name and message, and the HRESULT it carries after the message.
    std::string strErrorName;
    std::string strMessage;
    std::optional<std::uint32_t> hrArgument;
    // No reply: why, as an errno (ECANCELED: interrupted).
    int iErrno = 0;

    bool Ok() const { return reply != nullptr; }
    bool IsErrorReply() const { return !strErrorName.empty(); }
};

class CBusLink
{
public:
    using Clock = std::chrono::steady_clock;

    CBusLink();

    // Connects to the bus at the address and waits for the handshake and Hello until the
    // deadline: 0, or the negative errno (-ETIMEDOUT past the deadline, -ECANCELED interrupted).
    int Connect(const std::string& strAddress, Clock::time_point deadline);

    // A new method call, or nothing when the bus cannot make one.
    MessagePtr NewCall(const char* szDestination, const char* szPath, const char* szInterface, const char* szMember);
    // Sends the call and waits for its reply, the timeout at most.
    CallResult Call(sd_bus_message* pCall, std::chrono::microseconds timeout);
    // Sends a call whose reply nobody waits for.
    int Send(sd_bus_message* pCall);

    // From any thread: the wait in progress, and every later one, ends at once.
    void Interrupt();

private:
    // One turn of the bus: processes what is there, or waits for it, for sd-bus's own timeout, the
    // deadline (none: nullopt) or an interruption. Negative: the errno that ends the wait.
    int Step(std::optional<std::uint64_t> uDeadlineUsec);
    int Failure(int r) const { return m_bInterrupted ? -ECANCELED : r; }

    CAutoFileHandle m_interrupt; // an eventfd, readable once interrupted
    std::atomic<bool> m_bInterrupted{false};
    BusPtr m_pBus;
};

} // namespace Vaultfeed::Bus
