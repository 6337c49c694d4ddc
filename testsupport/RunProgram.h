#pragma once
// Runs a built program as a test would from a shell, and keeps what it wrote and how it ended.

#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

struct ProgramResult
{
    std::string strStdout;
    std::string strStderr;
    int iExitStatus = -1; // the exit status, or -1 when the program did not exit by itself
};

// Starts program with the arguments, in the environment of the tests with the given variables set
// (an empty value removes a variable), its standard output on fdStdout and its standard error on
// fdStderr (-1: the test's own). The process id, or -1 when it could not start.
pid_t SpawnProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment, int fdStdout, int fdStderr);

// Runs program with the arguments, in the environment of the tests with the given variables
// set (an empty value removes a variable), and waits for it to end.
ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment = {});

// Runs program as RunProgram does, but with its standard error on a terminal of its own: strStderr
// holds the bytes that terminal was sent.
ProgramResult RunProgramOnTerminal(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                   const std::map<std::string, std::string>& environment = {});

// A new empty folder below the system's temporary folder, removed with everything in it.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // Writes a file below the folder and returns its path.
    std::filesystem::path Write(const std::string& strName, const std::string& strBytes) const;

private:
    std::filesystem::path m_path;
};

std::string ReadFile(const std::filesystem::path& path);

} // namespace testsupport
