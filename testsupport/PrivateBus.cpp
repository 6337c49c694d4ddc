#include "testsupport/PrivateBus.h"

#include <stdexcept>

namespace testsupport {

CPrivateBus::CPrivateBus()
    : m_daemon("/usr/bin/dbus-daemon",
               {"--config-file=" VESTREL_PRIVATE_BUS_CONFIG, "--address=unix:dir=" + m_socketFolder.Path().string(),
                "--nofork", "--print-address=1", "--syslog-only"},
               {}, ErrorOutput::Test),
      m_strAddress(m_daemon.ReadLine(kProgramHangGuard).value_or(""))
{
    if (m_strAddress.empty())
        throw std::runtime_error("dbus-daemon did not start");
}

} // namespace testsupport
