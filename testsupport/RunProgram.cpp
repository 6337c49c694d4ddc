#include "testsupport/RunProgram.h"

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace {

// A program under test browses for servers only where a test says: by default at a port of this
// machine that nobody serves, never on the networks around it.
constexpr const char* kLoopbackBrowseTargets = "127.0.0.1:9";

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& overrides)
{
    std::map<std::string, std::string> variables;
    for (char** p = environ; *p; ++p) {
        const std::string strEntry(*p);
        const auto equals = strEntry.find('=');
        if (equals != std::string::npos)
            variables[strEntry.substr(0, equals)] = strEntry.substr(equals + 1);
    }
    for (const auto& [name, value] : overrides) {
        if (value.empty())
            variables.erase(name);
        else
            variables[name] = value;
    }
    variables.try_emplace("VESTREL_BROWSE_TARGETS", kLoopbackBrowseTargets);
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables)
        entries.push_back(name + "=" + value);
    return entries;
}

} // namespace

namespace {

// The two ends of what becomes the program's standard error: the one the test reads, and the one
// the program writes.
void OpenErrorOutput(ErrorOutput errorOutput, int (&ends)[2])
{
    ends[0] = ends[1] = -1;
    if (errorOutput == ErrorOutput::Pipe && ::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (errorOutput == ErrorOutput::Terminal) {
        // A raw terminal passes the bytes as they were written.
        termios mode{};
        ::cfmakeraw(&mode);
        if (::openpty(&ends[0], &ends[1], nullptr, &mode, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    }
}

} // namespace

CRunningProgram::CRunningProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                 const std::map<std::string, std::string>& environment, ErrorOutput errorOutput,
                                 StandardInput input)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    try {
        OpenErrorOutput(errorOutput, errPipe);
    } catch (...) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        throw;
    }
    int fdInput = -1;
    if (input == StandardInput::Terminal) {
        if (::openpty(&m_fdInputTerminal, &fdInput, nullptr, nullptr, nullptr) != 0) {
            for (const int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
                if (fd >= 0)
                    ::close(fd);
            }
            throw std::runtime_error("openpty failed");
        }
        ::fcntl(m_fdInputTerminal, F_SETFD, FD_CLOEXEC);
        ::fcntl(fdInput, F_SETFD, FD_CLOEXEC);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    if (errPipe[1] >= 0)
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (fdInput >= 0)
        posix_spawn_file_actions_adddup2(&actions, fdInput, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> argStrings{program.string()};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = MergedEnvironment(environment);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    // The program starts as a shell starts a command in the foreground, whatever the test process
    // blocks or ignores (a test run started in the background ignores SIGINT): nothing blocked,
    // and the signals that tests send at their default action.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    for (const int iSignal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM})
        sigaddset(&signals, iSignal);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int iSpawn = posix_spawn(&m_pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    if (errPipe[1] >= 0)
        ::close(errPipe[1]);
    if (fdInput >= 0)
        ::close(fdInput);
    m_fdOut = outPipe[0];
    m_fdErr = errPipe[0];
    if (iSpawn != 0) {
        for (const int fd : {m_fdOut, m_fdErr, m_fdInputTerminal}) {
            if (fd >= 0)
                ::close(fd);
        }
        throw std::runtime_error("cannot start " + program.string());
    }
}

CRunningProgram::~CRunningProgram()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (const int fd : {m_fdOut, m_fdErr, m_fdInputTerminal}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool CRunningProgram::Collect(std::chrono::milliseconds timeout)
{
    std::array<pollfd, 2> fds{{{m_fdOut, POLLIN, 0}, {m_fdErr, POLLIN, 0}}};
    if (m_fdOut < 0 && m_fdErr < 0)
        return false;
    if (::poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) <= 0)
        return true;
    const std::array<int*, 2> owners{&m_fdOut, &m_fdErr};
    const std::array<std::string*, 2> sinks{&m_result.strStdout, &m_result.strStderr};
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0)
            continue;
        char buffer[4096];
        // A terminal whose last user has gone answers EIO: the end, as for a pipe.
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            sinks[i]->append(buffer, static_cast<std::size_t>(n));
        } else {
            ::close(fds[i].fd);
            *owners[i] = -1;
        }
    }
    return m_fdOut >= 0 || m_fdErr >= 0;
}

std::optional<std::string> CRunningProgram::ReadLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t end = m_result.strStdout.find('\n', m_cbLinesRead);
        if (end != std::string::npos) {
            std::string strLine = m_result.strStdout.substr(m_cbLinesRead, end - m_cbLinesRead);
            m_cbLinesRead = end + 1;
            return strLine;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_fdOut < 0 || !Collect(left))
            return std::nullopt;
    }
}

ProgramResult CRunningProgram::Wait(std::chrono::milliseconds guard)
{
    if (m_pid <= 0)
        return m_result; // waited for already
    const auto deadline = std::chrono::steady_clock::now() + guard;
    bool bKilled = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !bKilled) {
            ::kill(m_pid, SIGKILL);
            bKilled = true;
        }
        if (!Collect(bKilled ? std::chrono::milliseconds(100) : left))
            break;
    }
    int iStatus = 0;
    ::waitpid(m_pid, &iStatus, 0);
    m_pid = -1;
    m_result.iExitStatus = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
    ProgramResult result = std::move(m_result);
    result.strStdout.erase(0, m_cbLinesRead);
    return result;
}

ProgramResult CRunningProgram::Stop(int iSignal)
{
    if (m_pid > 0)
        ::kill(m_pid, iSignal);
    return Wait();
}

ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment)
{
    return CRunningProgram(program, arguments, environment).Wait();
}

ProgramResult RunProgramOnTerminal(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                   const std::map<std::string, std::string>& environment)
{
    return CRunningProgram(program, arguments, environment, ErrorOutput::Terminal).Wait();
}

ScratchFolder::ScratchFolder()
{
    std::string strTemplate = (std::filesystem::temp_directory_path() / "vestrel-test-XXXXXX").string();
    if (!::mkdtemp(strTemplate.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = strTemplate;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path ScratchFolder::Write(const std::string& strName, const std::string& strBytes) const
{
    const std::filesystem::path path = m_path / strName;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << strBytes;
    return path;
}

std::filesystem::path ScratchFolder::WriteScript(const std::string& strName, const std::string& strBody) const
{
    const std::filesystem::path path = Write(strName, "#!/bin/sh\n" + strBody + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace testsupport
