#include "BusPeers.h"

#include "testsupport/RunProgram.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace VaultfeedTests {
namespace {

void Signal(const CAutoFileHandle& event)
{
    const std::uint64_t uOne = 1;
    [[maybe_unused]] const ssize_t cbWritten = ::write(event.Get(), &uOne, sizeof uOne);
}

} // namespace

CSilentSocket::CSilentSocket(const std::filesystem::path& path)
    : m_path(path), m_listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_end(::eventfd(0, EFD_CLOEXEC))
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(m_listener.Get(), 8), 0);
    m_acceptor = std::thread(&CSilentSocket::Accept, this);
}

CSilentSocket::~CSilentSocket()
{
    Signal(m_end);
    m_acceptor.join();
}

std::string CSilentSocket::Address() const
{
    return "unix:path=" + m_path.string();
}

void CSilentSocket::WaitForAClient()
{
    std::unique_lock lock(m_lock);
    ASSERT_TRUE(m_changed.wait_for(lock, testsupport::kProgramHangGuard, [&] { return !m_clients.empty(); }));
}

void CSilentSocket::Accept()
{
    for (;;) {
        pollfd fds[2] = {{m_listener.Get(), POLLIN, 0}, {m_end.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0)
            return;
        CAutoFileHandle client(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        const std::lock_guard lock(m_lock);
        m_clients.push_back(std::move(client));
        m_changed.notify_all();
    }
}

CWrongPeer::CWrongPeer(const std::string& strAddress, PeerAnswers answers)
    : m_answers(answers), m_end(::eventfd(0, EFD_CLOEXEC))
{
    sd_bus* pBus = nullptr;
    EXPECT_GE(sd_bus_new(&pBus), 0);
    m_pBus.reset(pBus);
    EXPECT_GE(sd_bus_set_address(pBus, strAddress.c_str()), 0);
    EXPECT_GE(sd_bus_set_bus_client(pBus, 1), 0);
    EXPECT_GE(sd_bus_start(pBus), 0);
    sd_bus_slot* pSlot = nullptr;
    EXPECT_GE(sd_bus_add_object(pBus, &pSlot, Vaultfeed::Bus::kObjectPath, OnCall, this), 0);
    m_object.reset(pSlot);
    EXPECT_GE(sd_bus_request_name(pBus, Vaultfeed::Bus::kServiceName, 0), 0);
    m_server = std::thread(&CWrongPeer::Serve, this);
}

CWrongPeer::~CWrongPeer()
{
    Signal(m_end);
    m_server.join();
}

void CWrongPeer::WaitForCall(const std::string& strMember)
{
    std::unique_lock lock(m_lock);
    ASSERT_TRUE(m_changed.wait_for(lock, testsupport::kProgramHangGuard, [&] {
        return std::find(m_calls.begin(), m_calls.end(), strMember) != m_calls.end();
    }));
}

int CWrongPeer::OnCall(sd_bus_message* pCall, void* pThis, sd_bus_error*)
{
    auto& peer = *static_cast<CWrongPeer*>(pThis);
    {
        const std::lock_guard lock(peer.m_lock);
        peer.m_calls.emplace_back(sd_bus_message_get_member(pCall));
        peer.m_changed.notify_all();
    }
    if (peer.m_answers == PeerAnswers::WrongTypes)
        return sd_bus_reply_method_return(pCall, "i", 42);
    peer.m_unanswered.emplace_back(sd_bus_message_ref(pCall));
    return 1;
}

void CWrongPeer::Serve()
{
    for (;;) {
        const int r = sd_bus_process(m_pBus.get(), nullptr);
        if (r < 0)
            return;
        if (r > 0)
            continue;
        pollfd fds[2] = {{sd_bus_get_fd(m_pBus.get()), static_cast<short>(sd_bus_get_events(m_pBus.get())), 0},
                         {m_end.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0)
            return;
    }
}

} // namespace VaultfeedTests
