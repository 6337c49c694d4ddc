#pragma once
// What SIGINT and SIGTERM leave behind: the name reserved for the item being extracted is removed
// before the program ends as the signal would have ended it, so that an interrupted run leaves no
// output that looks finished.

#include <csignal>
#include <string_view>

namespace Vaultdump {

// Installs the handlers for its lifetime, one at a time; a signal the program was started to
// ignore stays ignored.
class CInterruptCleanup
{
public:
    CInterruptCleanup();
    ~CInterruptCleanup();
    CInterruptCleanup(const CInterruptCleanup&) = delete;
    CInterruptCleanup& operator=(const CInterruptCleanup&) = delete;

private:
    struct sigaction m_previous[2];
};

// Blocks SIGINT and SIGTERM for its lifetime: a change to the pending name, or the step that
// turns a reserved name into a finished output, is never seen half done.
class CInterruptsHeld
{
public:
    CInterruptsHeld();
    ~CInterruptsHeld();
    CInterruptsHeld(const CInterruptsHeld&) = delete;
    CInterruptsHeld& operator=(const CInterruptsHeld&) = delete;

private:
    sigset_t m_previous;
};

// The name an interrupt removes, or none. Call with interrupts held. A path longer than the
// system takes is no name that could have been reserved, and is not kept.
void SetPendingOutput(std::string_view path);
void ClearPendingOutput();

} // namespace Vaultdump
