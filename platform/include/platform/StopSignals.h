#pragma once
// The signals that ask a program to stop, SIGINT and SIGTERM, taken by the program itself.

#include <csignal>

namespace platform {

// Blocks the stop signals in the calling thread and in every thread it starts from now on, and
// returns them, so that the program takes them when it is ready (sigtimedwait, signalfd) instead of
// being ended. Call it before the first thread starts: a thread that does not block them would be
// ended by them.
sigset_t BlockStopSignals();

} // namespace platform
