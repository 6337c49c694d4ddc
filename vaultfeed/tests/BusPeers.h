#pragma once
// Peers that a client of the service may meet instead of the service, each made by the test
// itself: a socket that accepts and never speaks, and a peer on a private bus that owns the
// service's name and answers every call wrongly or never.

#include "vaultfeed/bus/SdBus.h"

#include "common/HandleOwners.h"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VaultfeedTests {

// A listening socket whose connections are accepted and then never spoken to.
class CSilentSocket
{
public:
    explicit CSilentSocket(const std::filesystem::path& path);
    CSilentSocket(const CSilentSocket&) = delete;
    CSilentSocket& operator=(const CSilentSocket&) = delete;
    ~CSilentSocket();

    // Its address, for VESTREL_SERVICE_BUS.
    std::string Address() const;
    // Waits until a client has connected.
    void WaitForAClient();

private:
    void Accept();

    std::filesystem::path m_path;
    CAutoFileHandle m_listener;
    CAutoFileHandle m_end;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<CAutoFileHandle> m_clients;
    std::thread m_acceptor;
};

// How a peer that owns the service's name answers.
enum class PeerAnswers {
    WrongTypes, // every call with an int32
    Never,      // no call at all
};

// A peer on the bus at the address, serving the service's object on a thread of its own.
class CWrongPeer
{
public:
    CWrongPeer(const std::string& strAddress, PeerAnswers answers);
    CWrongPeer(const CWrongPeer&) = delete;
    CWrongPeer& operator=(const CWrongPeer&) = delete;
    ~CWrongPeer();

    // Waits until a call of the member has come.
    void WaitForCall(const std::string& strMember);

private:
    static int OnCall(sd_bus_message* pCall, void* pThis, sd_bus_error*);
    void Serve();

    PeerAnswers m_answers;
    Vaultfeed::Bus::BusPtr m_pBus;
    Vaultfeed::Bus::SlotPtr m_object;
    CAutoFileHandle m_end;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
    std::vector<Vaultfeed::Bus::MessagePtr> m_unanswered;
    std::thread m_server;
};

} // namespace VaultfeedTests
