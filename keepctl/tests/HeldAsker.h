#pragma once
// keepctl held still by a test while a SQL Server Browser stand-in answers it: what the browse
// meets is made to happen, whatever the load of the machine, instead of hoped for.

#include "tools/browseresponder/ResolutionResponder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <sys/types.h>
#include <thread>

// The wait a browse may be given: it ends once every computer asked has answered or refused, so
// the wait is only a hang guard, however long a loaded machine holds a responder back.
inline constexpr const char* kLongestBrowseWait =
    "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Keeplib\\Browse]\r\n\"WaitMilliseconds\"=dword:0000ea60\r\n";

// Comes back once the program is in the state given ('S' waiting, 'T' stopped), as the system
// reports it.
inline void WaitForState(pid_t pid, char state)
{
    const std::string strStat = "/proc/" + std::to_string(pid) + "/stat";
    for (;;) {
        std::ifstream stat(strStat);
        std::string strLine;
        std::getline(stat, strLine);
        // "pid (name) state ...": the state follows the name's closing parenthesis.
        const auto close = strLine.rfind(')');
        if (close != std::string::npos && close + 2 < strLine.size() && strLine[close + 2] == state)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Stops a program, and comes back once it stands still: whatever is sent to it meanwhile waits
// for it, or is lost, as if it had been too busy to read.
inline void StopAndWait(pid_t pid)
{
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    WaitForState(pid, 'T');
}

// The id of a program that a responder's thread waits for until the test has started it.
class CAsker
{
public:
    void Started(pid_t pid)
    {
        ASSERT_GT(pid, 0);
        m_pid = pid;
    }
    pid_t Pid() const
    {
        while (m_pid == 0)
            std::this_thread::yield();
        return m_pid;
    }

private:
    std::atomic<pid_t> m_pid = 0;
};

// A responder that holds the asker still while it sends its answers to a request, and lets it go
// after the last: they all wait in the asker's buffer when it reads, as the answers of a computer
// that sends them at once, however long the responder is held up between two of them.
inline tools::ResponderOptions HoldingTheAsker(CAsker& asker)
{
    tools::ResponderOptions options;
    options.beforeAnswer = [&asker](std::size_t iAnswer) {
        if (iAnswer == 0)
            StopAndWait(asker.Pid());
    };
    options.afterAnswering = [&asker] { ::kill(asker.Pid(), SIGCONT); };
    return options;
}
