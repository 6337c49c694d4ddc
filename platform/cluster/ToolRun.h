#pragma once
// Runs one of the cluster software's command-line tools to its end, and keeps what it printed.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::cluster {

struct ToolLimits
{
    std::chrono::milliseconds deadline; // a tool still running then is killed
    std::size_t cbMaxOutput;            // and so is one that prints more on its standard output
};

struct ToolRun
{
    enum class Ending { Exited, Signalled, TimedOut, TooMuchOutput, NotStarted };
    Ending ending = Ending::NotStarted;
    int iCode = 0; // the exit status, the signal, or the errno of the start that failed
    std::string strOutput;
    std::string strErrors; // the beginning of its standard error
};

// Runs the program in this process's environment with its standard input on /dev/null, no
// signal blocked or ignored and no descriptor but its outputs inherited, and waits for that child
// alone: a program with children of its own is never disturbed.
ToolRun RunTool(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                const ToolLimits& limits);

} // namespace platform::cluster
