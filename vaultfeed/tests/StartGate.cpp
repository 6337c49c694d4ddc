// Preloaded into a program under test (LD_PRELOAD), this holds the program at its start, before any
// library it links has run its initialiser and long before main: the initialiser opens the pipe
// that VAULTFEED_START_GATE names for reading, which lets the test know the program is there, and
// waits for a byte from it. The programs it starts in turn pass freely.

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

[[gnu::constructor]] void HoldAtTheStartGate()
{
    const char* szGate = std::getenv("VAULTFEED_START_GATE");
    if (szGate == nullptr)
        return;
    const int fdGate = ::open(szGate, O_RDONLY | O_CLOEXEC);
    ::unsetenv("VAULTFEED_START_GATE");
    if (fdGate < 0)
        return;
    char byte = 0;
    while (::read(fdGate, &byte, 1) < 0 && errno == EINTR) {
    }
    ::close(fdGate);
}

} // namespace
