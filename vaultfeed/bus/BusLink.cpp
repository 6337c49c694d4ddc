#include "BusLink.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Vaultfeed::Bus {
namespace {

// sd-bus counts its timeouts in microseconds of CLOCK_MONOTONIC, as steady_clock does on Linux.
std::uint64_t MonotonicUsec()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1'000'000u + std::uint64_t(now.tv_nsec) / 1000u;
}

std::uint64_t MonotonicDeadline(CBusLink::Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - CBusLink::Clock::now());
    return MonotonicUsec() + std::uint64_t(std::max<std::int64_t>(left.count(), 0));
}

struct PendingReply
{
    bool bDone = false;
    MessagePtr reply;
};

int OnReply(sd_bus_message* pReply, void* pUserdata, sd_bus_error*)
{
    auto& pending = *static_cast<PendingReply*>(pUserdata);
    pending.reply.reset(sd_bus_message_ref(pReply));
    pending.bDone = true;
    return 1;
}

// An error reply's name, message, and the HRESULT after the message when it is there.
CallResult ErrorOfReply(MessagePtr reply)
{
    CallResult result;
    const sd_bus_error* pError = sd_bus_message_get_error(reply.get());
    result.strErrorName = pError && pError->name ? pError->name : "org.freedesktop.DBus.Error.Failed";
    result.strMessage = pError && pError->message ? pError->message : "";
    std::uint32_t uHr = 0;
    if (std::string_view(sd_bus_message_get_signature(reply.get(), 1)) == "su" &&
        sd_bus_message_rewind(reply.get(), 1) >= 0 && sd_bus_message_skip(reply.get(), "s") >= 0 &&
        sd_bus_message_read_basic(reply.get(), 'u', &uHr) > 0)
        result.hrArgument = uHr;
    return result;
}

CallResult NoReply(int iErrno)
{
    CallResult result;
    result.iErrno = iErrno;
    return result;
}

} // namespace

CBusLink::CBusLink() : m_interrupt(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void CBusLink::Interrupt()
{
    m_bInterrupted = true;
    const std::uint64_t uOne = 1;
    // The descriptor lives as long as the link, which its owners keep while they may interrupt.
    [[maybe_unused]] const ssize_t cbWritten = ::write(m_interrupt.Get(), &uOne, sizeof uOne);
}

int CBusLink::Connect(const std::string& strAddress, Clock::time_point deadline)
{
    if (!m_interrupt)
        return -errno;
    const std::uint64_t uDeadline = MonotonicDeadline(deadline);
    sd_bus* pBus = nullptr;
    int r = sd_bus_new(&pBus);
    if (r < 0)
        return r;
    m_pBus.reset(pBus);
    // A bus client says Hello and gets a unique name; without it the daemon refuses every call.
    if ((r = sd_bus_set_address(pBus, strAddress.c_str())) < 0 || (r = sd_bus_set_bus_client(pBus, 1)) < 0 ||
        (r = sd_bus_start(pBus)) < 0)
        return Failure(r);
    // sd_bus_start only opens the socket: the handshake is run here, against the deadline.
    while ((r = sd_bus_is_ready(pBus)) == 0) {
        if ((r = Step(uDeadline)) < 0)
            return r;
    }
    return r < 0 ? Failure(r) : 0;
}

MessagePtr CBusLink::NewCall(const char* szDestination, const char* szPath, const char* szInterface,
                             const char* szMember)
{
    sd_bus_message* pCall = nullptr;
    if (!m_pBus ||
        sd_bus_message_new_method_call(m_pBus.get(), &pCall, szDestination, szPath, szInterface, szMember) < 0)
        return nullptr;
    return MessagePtr(pCall);
}

int CBusLink::Send(sd_bus_message* pCall)
{
    if (m_bInterrupted)
        return -ECANCELED;
    const int r = sd_bus_message_set_expect_reply(pCall, 0);
    return r < 0 ? r : sd_bus_send(m_pBus.get(), pCall, nullptr);
}

CallResult CBusLink::Call(sd_bus_message* pCall, std::chrono::microseconds timeout)
{
    if (m_bInterrupted)
        return NoReply(ECANCELED);
    // Asynchronous, so that the wait is this link's own (an interruption ends it) and the error
    // reply reaches here whole: sd_bus_call would keep its name and message only.
    PendingReply pending;
    sd_bus_slot* pSlot = nullptr;
    int r = sd_bus_call_async(m_pBus.get(), &pSlot, pCall, OnReply, &pending, std::uint64_t(timeout.count()));
    if (r < 0)
        return NoReply(-Failure(r));
    // Dropping the slot forgets a reply still to come. sd-bus answers a call past its timeout with
    // an error reply of its own, so the wait needs no deadline here.
    const SlotPtr slot(pSlot);
    while (!pending.bDone) {
        if ((r = Step(std::nullopt)) < 0)
            return NoReply(-r);
    }
    if (sd_bus_message_is_method_error(pending.reply.get(), nullptr))
        return ErrorOfReply(std::move(pending.reply));
    CallResult result;
    result.reply = std::move(pending.reply);
    return result;
}

int CBusLink::Step(std::optional<std::uint64_t> uDeadlineUsec)
{
    if (m_bInterrupted)
        return -ECANCELED;
    const int rProcess = sd_bus_process(m_pBus.get(), nullptr);
    if (rProcess != 0)
        return rProcess < 0 ? Failure(rProcess) : 0;

    const int iEvents = sd_bus_get_events(m_pBus.get());
    if (iEvents < 0)
        return Failure(iEvents);
    std::uint64_t uUntil = UINT64_MAX;
    if (sd_bus_get_timeout(m_pBus.get(), &uUntil) < 0)
        uUntil = UINT64_MAX;
    if (uDeadlineUsec)
        uUntil = std::min(uUntil, *uDeadlineUsec);
    timespec wait{};
    if (uUntil != UINT64_MAX) {
        const std::uint64_t uNow = MonotonicUsec();
        const std::uint64_t uLeft = uUntil > uNow ? uUntil - uNow : 0;
        wait.tv_sec = time_t(uLeft / 1'000'000u);
        wait.tv_nsec = long(uLeft % 1'000'000u) * 1000;
    }
    pollfd fds[2] = {{sd_bus_get_fd(m_pBus.get()), short(iEvents), 0}, {m_interrupt.Get(), POLLIN, 0}};
    if (::ppoll(fds, 2, uUntil == UINT64_MAX ? nullptr : &wait, nullptr) < 0 && errno != EINTR)
        return Failure(-errno);
    if (m_bInterrupted)
        return -ECANCELED;
    if (uDeadlineUsec && MonotonicUsec() >= *uDeadlineUsec)
        return -ETIMEDOUT;
    return 0;
}

} // namespace Vaultfeed::Bus
