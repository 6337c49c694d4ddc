#pragma once
// A message bus of a test's own, beside the test.

#include "testsupport/RunProgram.h"

#include <string>

namespace testsupport {

// dbus-daemon with tools/bus/private-bus.conf, never the machine's session or system bus;
// stopped when the object goes.
class CPrivateBus
{
public:
    CPrivateBus();

    const std::string& Address() const { return m_strAddress; }

private:
    CRunningProgram m_daemon;
    std::string m_strAddress;
};

} // namespace testsupport
