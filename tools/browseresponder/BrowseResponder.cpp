// browseresponder: a SQL Server Browser on 127.0.0.1 (or on the address given) for tests and
// demos. It answers browses for the server names it is given ("HOST" for a default instance,
// "HOST\INST" for a named one) and stops by itself after a while without requests, or on SIGINT
// or SIGTERM.
//
//   browseresponder [-a ADDRESS] [-p PORT] [-i IDLE-SECONDS] SERVER...

#include "tools/browseresponder/ResolutionResponder.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t g_bStop = 0;

void RequestStop(int)
{
    g_bStop = 1;
}

int Usage()
{
    std::fputs("usage: browseresponder [-a ADDRESS] [-p PORT] [-i IDLE-SECONDS] SERVER...\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    tools::ResponderOptions options;
    long lPort = 0;
    long lIdleSeconds = 60;
    std::vector<std::string> servers;
    for (int i = 1; i < argc; ++i) {
        const bool bOption =
            std::strcmp(argv[i], "-a") == 0 || std::strcmp(argv[i], "-p") == 0 || std::strcmp(argv[i], "-i") == 0;
        if (bOption && i + 1 == argc)
            return Usage();
        if (std::strcmp(argv[i], "-a") == 0)
            options.strAddress = argv[++i];
        else if (std::strcmp(argv[i], "-p") == 0)
            lPort = std::strtol(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "-i") == 0)
            lIdleSeconds = std::strtol(argv[++i], nullptr, 10);
        else
            servers.emplace_back(argv[i]);
    }
    if (servers.empty() || lPort < 0 || lPort > 65535 || lIdleSeconds <= 0)
        return Usage();

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    try {
        options.port = static_cast<std::uint16_t>(lPort);
        tools::CResolutionResponder responder(tools::AnswersForServers(servers), std::move(options));
        std::printf("listening on %s\n", responder.Target().c_str());
        std::fflush(stdout);
        while (!g_bStop && responder.IdleTime() < std::chrono::seconds(lIdleSeconds))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "browseresponder: %s\n", error.what());
        return 1;
    }
    return 0;
}
