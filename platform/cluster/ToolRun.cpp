#include "ToolRun.h"

#include "common/HandleOwners.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
// glibc 2.36 declares these without the C linkage its other headers give.
extern "C" {
#include <sys/pidfd.h>
}

extern char** environ;

namespace platform::cluster {
namespace {

constexpr std::size_t kErrorsKept = 4096;

// How the child starts: standard input from /dev/null, its outputs into the pipes, nothing else
// inherited, and no signal blocked or ignored, whatever the caller's threads block (the programs
// block their stop signals).
class CSpawnSetup
{
public:
    CSpawnSetup(int fdOutput, int fdErrors)
    {
        posix_spawn_file_actions_init(&m_actions);
        posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        for (const int iError : {
                 posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0),
                 posix_spawn_file_actions_adddup2(&m_actions, fdOutput, STDOUT_FILENO),
                 posix_spawn_file_actions_adddup2(&m_actions, fdErrors, STDERR_FILENO),
                 posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1),
                 posix_spawnattr_setsigmask(&m_attributes, &none),
                 posix_spawnattr_setsigdefault(&m_attributes, &all),
                 posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF),
             }) {
            if (m_iError == 0)
                m_iError = iError;
        }
    }
    ~CSpawnSetup()
    {
        posix_spawnattr_destroy(&m_attributes);
        posix_spawn_file_actions_destroy(&m_actions);
    }
    CSpawnSetup(const CSpawnSetup&) = delete;
    CSpawnSetup& operator=(const CSpawnSetup&) = delete;

    // Starts the program; an errno value when it could not.
    int Spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments, pid_t& pid) const
    {
        if (m_iError != 0)
            return m_iError;
        std::vector<std::string> words{program.string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& strWord : words)
            argv.push_back(strWord.data());
        argv.push_back(nullptr);
        return posix_spawn(&pid, program.c_str(), &m_actions, &m_attributes, argv.data(), environ);
    }

private:
    posix_spawn_file_actions_t m_actions;
    posix_spawnattr_t m_attributes;
    int m_iError = 0;
};

struct Pipe
{
    CAutoFileHandle readEnd;
    CAutoFileHandle writeEnd;
};

bool MakePipe(Pipe& pipe)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    pipe.readEnd.Reset(ends[0]);
    pipe.writeEnd.Reset(ends[1]);
    return true;
}

// Reads what the pipe holds into the text, keeping at most cbKept bytes of it; closes the pipe at
// its end.
void Drain(CAutoFileHandle& readEnd, std::string& strText, std::size_t cbKept)
{
    std::array<char, 65536> buffer;
    const ssize_t cbRead = ::read(readEnd.Get(), buffer.data(), buffer.size());
    if (cbRead < 0 && errno == EINTR)
        return;
    if (cbRead <= 0) {
        readEnd.Reset();
        return;
    }
    const std::size_t cbRoom = cbKept > strText.size() ? cbKept - strText.size() : 0;
    strText.append(buffer.data(), std::min(static_cast<std::size_t>(cbRead), cbRoom));
}

// Collects both outputs until both have ended and the child has exited, or a limit is reached.
ToolRun::Ending Collect(Pipe& output, Pipe& errors, int fdChild, const ToolLimits& limits, ToolRun& run)
{
    const auto deadline = std::chrono::steady_clock::now() + limits.deadline;
    bool bExited = false;
    while (output.readEnd || errors.readEnd || !bExited) {
        const auto remaining =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (remaining.count() <= 0)
            return ToolRun::Ending::TimedOut;
        std::array<pollfd, 3> fds{{{output.readEnd.Get(), POLLIN, 0},
                                   {errors.readEnd.Get(), POLLIN, 0},
                                   {bExited ? -1 : fdChild, POLLIN, 0}}};
        // Without poll there is nothing to wait with: the tool is given up as one that did not answer.
        if (::poll(fds.data(), fds.size(), static_cast<int>(remaining.count())) < 0 && errno != EINTR)
            return ToolRun::Ending::TimedOut;
        if (fds[0].revents != 0) {
            // One byte more than allowed tells an output at the limit from one beyond it.
            Drain(output.readEnd, run.strOutput, limits.cbMaxOutput + 1);
            if (run.strOutput.size() > limits.cbMaxOutput)
                return ToolRun::Ending::TooMuchOutput;
        }
        if (fds[1].revents != 0)
            Drain(errors.readEnd, run.strErrors, kErrorsKept);
        bExited = bExited || fds[2].revents != 0;
    }
    return ToolRun::Ending::Exited;
}

} // namespace

ToolRun RunTool(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                const ToolLimits& limits)
{
    ToolRun run;
    Pipe output;
    Pipe errors;
    if (!MakePipe(output) || !MakePipe(errors)) {
        run.iCode = errno;
        return run;
    }
    pid_t pid = -1;
    if (const int iError = CSpawnSetup(output.writeEnd.Get(), errors.writeEnd.Get()).Spawn(program, arguments, pid);
        iError != 0) {
        run.iCode = iError;
        return run;
    }
    output.writeEnd.Reset();
    errors.writeEnd.Reset();

    // The child's own descriptor: it tells when the child has exited, even one that closed its
    // outputs long before, and a signal sent through it cannot reach a process that took its number.
    const CAutoFileHandle child(pidfd_open(pid, 0));
    if (child) {
        run.ending = Collect(output, errors, child.Get(), limits, run);
        if (run.ending != ToolRun::Ending::Exited)
            pidfd_send_signal(child.Get(), SIGKILL, nullptr, 0);
    } else {
        run.iCode = errno;
        ::kill(pid, SIGKILL);
    }
    int iStatus = 0;
    while (::waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    if (run.ending == ToolRun::Ending::Exited) {
        if (WIFSIGNALED(iStatus)) {
            run.ending = ToolRun::Ending::Signalled;
            run.iCode = WTERMSIG(iStatus);
        } else {
            run.iCode = WEXITSTATUS(iStatus);
        }
    }
    return run;
}

} // namespace platform::cluster
