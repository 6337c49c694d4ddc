#include "Background.h"

#include "RunProgram.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

CBackgroundProgram::CBackgroundProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                       const std::map<std::string, std::string>& environment)
{
    int outPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    m_pid = SpawnProgram(program, arguments, environment, outPipe[1], -1);
    ::close(outPipe[1]);
    if (m_pid < 0) {
        ::close(outPipe[0]);
        throw std::runtime_error("cannot start " + program.string());
    }
    m_fdOutput = outPipe[0];
}

CBackgroundProgram::~CBackgroundProgram()
{
    if (m_pid > 0)
        Stop(SIGKILL);
    ::close(m_fdOutput);
}

std::string CBackgroundProgram::ReadLine(std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const std::size_t iNewline = m_strPending.find('\n');
        if (iNewline != std::string::npos) {
            std::string strLine = m_strPending.substr(0, iNewline);
            m_strPending.erase(0, iNewline + 1);
            return strLine;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd{m_fdOutput, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char buffer[4096];
        const ssize_t cbRead = ::read(m_fdOutput, buffer, sizeof buffer);
        if (cbRead <= 0)
            return {};
        m_strPending.append(buffer, static_cast<std::size_t>(cbRead));
    }
}

int CBackgroundProgram::Stop(int iSignal)
{
    if (m_pid <= 0)
        return -1;
    ::kill(m_pid, iSignal);
    int iStatus = 0;
    while (::waitpid(m_pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
}

CPrivateBus::CPrivateBus()
    : m_daemon("/usr/bin/dbus-daemon",
               {"--config-file=" VESTREL_PRIVATE_BUS_CONFIG, "--nofork", "--print-address=1", "--syslog-only"}),
      m_strAddress(m_daemon.ReadLine())
{
    if (m_strAddress.empty())
        throw std::runtime_error("dbus-daemon did not start");
}

} // namespace testsupport
