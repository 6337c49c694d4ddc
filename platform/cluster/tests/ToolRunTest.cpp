// Running a tool of the cluster software: what it printed and how it ended, whatever it does with
// its outputs, its time and the signals and descriptors it was given.

#include "ToolRun.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>

namespace {

using platform::cluster::RunTool;
using platform::cluster::ToolLimits;
using platform::cluster::ToolRun;
using Ending = ToolRun::Ending;

constexpr ToolLimits kGenerous{std::chrono::minutes(1), 16 * 1024 * 1024};

class ToolRunTest : public ::testing::Test
{
protected:
    // A shell script of that body, ready to run.
    std::filesystem::path Tool(const std::string& strBody)
    {
        return m_folder.WriteScript("tool" + std::to_string(++m_nTools), strBody);
    }

    testsupport::ScratchFolder m_folder;
    int m_nTools = 0;
};

TEST_F(ToolRunTest, KeepsBothOutputsAndTheExitStatus)
{
    const ToolRun run = RunTool(Tool("printf '%s|' \"$@\"; printf 'warning' >&2; exit 3"), {"a b", "", "*"}, kGenerous);
    EXPECT_EQ(run.ending, Ending::Exited);
    EXPECT_EQ(run.iCode, 3);
    EXPECT_EQ(run.strOutput, "a b||*|");
    EXPECT_EQ(run.strErrors, "warning");
}

TEST_F(ToolRunTest, ReadsBothOutputsAsTheyCome)
{
    // More than a pipe holds on standard error before anything on standard output: a reader of
    // one pipe at a time would wait for ever. Only the beginning of the errors is kept.
    const ToolRun run = RunTool(
        Tool("head -c 300000 /dev/zero | tr '\\0' e >&2; head -c 3000000 /dev/zero | tr '\\0' o"), {}, kGenerous);
    EXPECT_EQ(run.ending, Ending::Exited);
    EXPECT_EQ(run.strOutput, std::string(3000000, 'o'));
    EXPECT_EQ(run.strErrors, std::string(4096, 'e'));
}

TEST_F(ToolRunTest, HowTheToolEnded)
{
    struct Case
    {
        const char* szBody;
        ToolLimits limits;
        Ending ending;
        int iCode;
    };
    const Case cases[] = {
        {"kill -SEGV $$", kGenerous, Ending::Signalled, SIGSEGV},
        {"exec sleep 30", {std::chrono::milliseconds(200), 1024}, Ending::TimedOut, 0},
        // Its outputs closed, it still runs: the end of the outputs is not the end of the tool.
        {"exec >&- 2>&-; exec sleep 30", {std::chrono::milliseconds(200), 1024}, Ending::TimedOut, 0},
        {"exec >&- 2>&-; sleep 0.1; exit 7", kGenerous, Ending::Exited, 7},
        {"head -c 1000 /dev/zero", {std::chrono::minutes(1), 1000}, Ending::Exited, 0},
        {"head -c 1001 /dev/zero; exec sleep 30", {std::chrono::minutes(1), 1000}, Ending::TooMuchOutput, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szBody);
        const ToolRun run = RunTool(Tool(c.szBody), {}, c.limits);
        EXPECT_EQ(run.ending, c.ending);
        EXPECT_EQ(run.iCode, c.iCode);
    }
}

TEST_F(ToolRunTest, AToolThatCannotStart)
{
    const auto notExecutable = m_folder.Write("plain", "#!/bin/sh\n");
    const std::pair<std::filesystem::path, int> cases[] = {{m_folder.Path() / "missing", ENOENT},
                                                           {notExecutable, EACCES}};
    for (const auto& [program, iError] : cases) {
        const ToolRun run = RunTool(program, {}, kGenerous);
        EXPECT_EQ(run.ending, Ending::NotStarted) << program;
        EXPECT_EQ(run.iCode, iError) << program;
    }
}

TEST_F(ToolRunTest, TheToolGetsNoDescriptorAndNoBlockedSignalOfTheCaller)
{
    // The programs block their stop signals, and keep files open that are no business of a tool.
    const int fdPrivate = ::open(m_folder.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fdPrivate, 3);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
    const ToolRun listing = RunTool(Tool("readlink /proc/$$/fd/0; test -e /proc/$$/fd/$1 && echo inherited; true"),
                                    {std::to_string(fdPrivate)}, kGenerous);
    const ToolRun stopped = RunTool(Tool("kill -TERM $$; exit 0"), {}, kGenerous);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(fdPrivate);

    EXPECT_EQ(listing.strOutput, "/dev/null\n");
    EXPECT_EQ(stopped.ending, Ending::Signalled);
    EXPECT_EQ(stopped.iCode, SIGTERM);
}

} // namespace
