#pragma once
// Runs a built program as a test would from a shell, and keeps what it wrote and how it ended.

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
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

// A hang guard, not a measure: a program still running after it is stopped, so that a test that
// meets a hang fails instead of waiting for ever.
inline constexpr std::chrono::seconds kProgramHangGuard{60};

// Where a program's standard error goes: a pipe the test reads, a terminal of its own (whose
// bytes the test reads as the terminal was sent them), or the test's own standard error.
enum class ErrorOutput { Pipe, Terminal, Test };

// Where a program's standard input comes from: nothing (/dev/null), or a terminal of its own on
// which nobody types, so that a program that asks for something waits instead of reading the end.
enum class StandardInput { Nothing, Terminal };

// A program started in the background, in the environment of the tests with the given variables
// set (an empty value removes a variable); stopped, if it still runs, when the object goes.
// Unless the tests' or the given environment names them, server browses go to a closed port of
// 127.0.0.1.
class CRunningProgram
{
public:
    CRunningProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment = {},
                    ErrorOutput errorOutput = ErrorOutput::Pipe, StandardInput input = StandardInput::Nothing);
    ~CRunningProgram();
    CRunningProgram(const CRunningProgram&) = delete;
    CRunningProgram& operator=(const CRunningProgram&) = delete;

    pid_t Pid() const { return m_pid; }
    // The next line of standard output without its line feed, waiting at most the given time;
    // nothing when the output ended first, or the time ran out.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
    // Collects the rest of the output and the exit status; a program still running after the
    // guard is killed.
    ProgramResult Wait(std::chrono::milliseconds guard = kProgramHangGuard);
    // Sends the signal, then waits as Wait does.
    ProgramResult Stop(int iSignal);

private:
    // Reads what is ready on either pipe, waiting at most the given time; false once both ended.
    bool Collect(std::chrono::milliseconds timeout);

    pid_t m_pid = -1;
    int m_fdOut = -1;
    int m_fdErr = -1;
    int m_fdInputTerminal = -1; // the terminal's other end, held open while the program runs
    ProgramResult m_result;
    std::size_t m_cbLinesRead = 0; // how much of the standard output ReadLine handed out
};

// Runs the program and waits for it to end.
ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::map<std::string, std::string>& environment = {});

// Runs the program as RunProgram does, but with its standard error on a terminal of its own.
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
    // Writes a shell script of that body below the folder, ready to run, and returns its path.
    std::filesystem::path WriteScript(const std::string& strName, const std::string& strBody) const;

private:
    std::filesystem::path m_path;
};

std::string ReadFile(const std::filesystem::path& path);

} // namespace testsupport
