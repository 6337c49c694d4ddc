#pragma once
// A message bus of a test's own, beside the test.

#include "testsupport/RunProgram.h"

#include <string>

namespace testsupport {

// dbus-daemon with tools/bus/private-bus.conf, never the machine's session or system bus;
// stopped when the object goes. Its socket lies in a folder of its own, removed after it: the
// daemon leaves its socket behind when it is stopped.
class CPrivateBus
{
public:
    CPrivateBus();

    const std::string& Address() const { return m_strAddress; }

private:
    ScratchFolder m_socketFolder;
    CRunningProgram m_daemon;
    std::string m_strAddress;
};

} // namespace testsupport
