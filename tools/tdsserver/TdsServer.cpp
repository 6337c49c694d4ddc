// tdsserver: a small server of the TDS protocol (version 7.4, as FreeTDS speaks it) for tests and
// demos. It answers logins, batches and procedure calls from a rules file, writes what it received
// to a transcript, listens on 127.0.0.1 only, and stops by itself once nothing has happened for a
// while.

#include "ServerRules.h"
#include "TdsSession.h"
#include "Transcript.h"
#include "common/HandleOwners.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace {

constexpr const char* kUsageText =
    "Usage: tdsserver --rules FILE --transcript FILE [--idle-seconds N]\n"
    "Listens on a free port of 127.0.0.1 and prints it as \"127.0.0.1,PORT\". Answers as the rules\n"
    "say, writes what it receives to the transcript, and stops when no client has been connected\n"
    "for N seconds (default 30).\n";

using Clock = std::chrono::steady_clock;

struct Options
{
    std::string strRules;
    std::string strTranscript;
    int iIdleSeconds = 30;
};

bool ReadOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string strName = argv[i];
        if (strName == "--rules")
            options.strRules = argv[i + 1];
        else if (strName == "--transcript")
            options.strTranscript = argv[i + 1];
        else if (strName == "--idle-seconds")
            options.iIdleSeconds = std::atoi(argv[i + 1]);
        else
            return false;
    }
    return argc % 2 == 1 && !options.strRules.empty() && !options.strTranscript.empty() && options.iIdleSeconds > 0;
}

// A listening socket on a port of 127.0.0.1 that the kernel chose; the port in portOut.
CAutoFileHandle ListenOnLoopback(int& portOut)
{
    CAutoFileHandle listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t cbAddress = sizeof address;
    if (!listener || ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.Get(), 16) != 0 ||
        ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &cbAddress) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    portOut = ntohs(address.sin_port);
    return listener;
}

// Runs the sessions, each on a thread of its own (a client may hold several connections at once),
// until no connection has been open for the idle time.
void Serve(int fdListener, const Options& options, const TdsServer::CServerRules& rules,
           TdsServer::CTranscript& transcript)
{
    const auto idleTime = std::chrono::seconds(options.iIdleSeconds);
    std::atomic<int> cOpen{0};
    std::mutex lastActivityLock;
    Clock::time_point lastActivity = Clock::now();
    std::vector<std::jthread> sessions;
    unsigned uConnections = 0;
    for (;;) {
        pollfd listener{fdListener, POLLIN, 0};
        if (::poll(&listener, 1, 200) > 0) {
            CAutoFileHandle connection(::accept4(fdListener, nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection)
                continue;
            // A client that says nothing for the idle time is let go.
            const timeval timeout{options.iIdleSeconds, 0};
            ::setsockopt(connection.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            ++cOpen;
            sessions.emplace_back([&, socket = std::move(connection), uConnection = ++uConnections]() {
                TdsServer::CTdsSession(socket.Get(), uConnection, rules, transcript).Run();
                const std::lock_guard guard(lastActivityLock);
                lastActivity = Clock::now();
                --cOpen;
            });
        }
        const std::lock_guard guard(lastActivityLock);
        if (cOpen == 0 && Clock::now() - lastActivity > idleTime)
            return;
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ReadOptions(argc, argv, options)) {
        std::fputs(kUsageText, stderr);
        return 2;
    }
    try {
        const TdsServer::CServerRules rules = TdsServer::CServerRules::Load(options.strRules);
        TdsServer::CTranscript transcript(options.strTranscript);
        int iPort = 0;
        const CAutoFileHandle listener = ListenOnLoopback(iPort);
        std::printf("127.0.0.1,%d\n", iPort);
        std::fflush(stdout);
        Serve(listener.Get(), options, rules, transcript);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tdsserver: %s\n", e.what());
        return 1;
    }
}
