#pragma once
// Programs that run beside a test: a private message bus, and any program whose output lines the
// test reads while it runs.

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// A program started in the background with its standard output on a pipe; killed, if it still
// runs, when the object goes.
class CBackgroundProgram
{
public:
    CBackgroundProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                       const std::map<std::string, std::string>& environment = {});
    ~CBackgroundProgram();
    CBackgroundProgram(const CBackgroundProgram&) = delete;
    CBackgroundProgram& operator=(const CBackgroundProgram&) = delete;

    // The next line of standard output without its newline; empty when none came within the wait
    // or the output ended.
    std::string ReadLine(std::chrono::milliseconds wait = std::chrono::seconds(30));
    // Sends the signal and waits for the program to end; its exit status, or -1 when a signal
    // ended it.
    int Stop(int iSignal);
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_fdOutput = -1;
    std::string m_strPending;
};

// A message bus of the test's own (dbus-daemon with tools/bus/private-bus.conf), never the
// machine's session or system bus; stopped when the object goes.
class CPrivateBus
{
public:
    CPrivateBus();

    const std::string& Address() const { return m_strAddress; }

private:
    CBackgroundProgram m_daemon;
    std::string m_strAddress;
};

} // namespace testsupport
