#include "RunProgram.h"

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {
namespace {

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
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables)
        entries.push_back(name + "=" + value);
    return entries;
}

} // namespace

pid_t SpawnProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment, int fdStdout, int fdStderr)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fdStdout, STDOUT_FILENO);
    if (fdStderr >= 0)
        posix_spawn_file_actions_adddup2(&actions, fdStderr, STDERR_FILENO);
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

    pid_t pid = 0;
    const int iSpawn = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return iSpawn == 0 ? pid : -1;
}

namespace {

// Runs the program with its standard output on a pipe and its standard error on the given pair's
// writing end, collects both until they close, and waits for it to end.
ProgramResult RunAndCollect(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                            const std::map<std::string, std::string>& environment, int (&errorPair)[2])
{
    int outPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = SpawnProgram(program, arguments, environment, outPipe[1], errorPair[1]);
    ::close(outPipe[1]);
    ::close(errorPair[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errorPair[0]);
        throw std::runtime_error("cannot start " + program.string());
    }

    ProgramResult result;
    std::array<pollfd, 2> fds{{{outPipe[0], POLLIN, 0}, {errorPair[0], POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&result.strStdout, &result.strStderr};
    int iOpen = 2;
    while (iOpen > 0) {
        ::poll(fds.data(), fds.size(), -1);
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
                fds[i].fd = -1;
                --iOpen;
            }
        }
    }
    int iStatus = 0;
    ::waitpid(pid, &iStatus, 0);
    result.iExitStatus = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
    return result;
}

} // namespace

ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment)
{
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    return RunAndCollect(program, arguments, environment, errPipe);
}

ProgramResult RunProgramOnTerminal(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                   const std::map<std::string, std::string>& environment)
{
    // The terminal passes bytes as they are written, so that the test sees what the program sent.
    termios mode{};
    ::cfmakeraw(&mode);
    int terminal[2]; // the controlling end, then the program's end
    if (::openpty(&terminal[0], &terminal[1], nullptr, &mode, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    ::fcntl(terminal[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(terminal[1], F_SETFD, FD_CLOEXEC);
    return RunAndCollect(program, arguments, environment, terminal);
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
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path ScratchFolder::Write(const std::string& strName, const std::string& strBytes) const
{
    const std::filesystem::path path = m_path / strName;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << strBytes;
    return path;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace testsupport
