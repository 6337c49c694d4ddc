#include "InterruptCleanup.h"

#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>
#include <unistd.h>

namespace Vaultdump {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM};

// Read by the handler, which may run at any moment: written only while the signals are held.
char g_szPendingPath[PATH_MAX];
volatile std::sig_atomic_t g_bPending = 0;

void RemovePendingAndEnd(int iSignal)
{
    if (g_bPending)
        ::unlink(g_szPendingPath);
    // The handler was reset to the default when it was entered: the signal, held until the
    // handler returns, ends the program as it would have without it.
    ::raise(iSignal);
}

sigset_t HandledSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int iSignal : kSignals)
        sigaddset(&set, iSignal);
    return set;
}

} // namespace

CInterruptCleanup::CInterruptCleanup()
{
    struct sigaction action = {};
    action.sa_handler = &RemovePendingAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], nullptr, &m_previous[i]);
        if (m_previous[i].sa_handler != SIG_IGN)
            ::sigaction(kSignals[i], &action, nullptr);
    }
}

CInterruptCleanup::~CInterruptCleanup()
{
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
}

CInterruptsHeld::CInterruptsHeld()
{
    const sigset_t set = HandledSignals();
    ::sigprocmask(SIG_BLOCK, &set, &m_previous);
}

CInterruptsHeld::~CInterruptsHeld()
{
    ::sigprocmask(SIG_SETMASK, &m_previous, nullptr);
}

void SetPendingOutput(std::string_view path)
{
    g_bPending = 0;
    if (path.size() >= sizeof g_szPendingPath)
        return;
    std::memcpy(g_szPendingPath, path.data(), path.size());
    g_szPendingPath[path.size()] = '\0';
    g_bPending = 1;
}

void ClearPendingOutput()
{
    g_bPending = 0;
}

} // namespace Vaultdump
