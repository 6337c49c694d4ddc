#include "trace/ICDebug.h"
#include "common/StringUtils.h"
#include "platform/DebugOutput.h"
#include "platform/Registry.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const wchar_t* kSubkey = L"Software\\Vestrel\\VLDebugLogs\\Keeplib";

// A registry holding the trace settings given as .reg value lines.
platform::Registry Settings(const std::string& strValues)
{
    return platform::Registry::FromText("[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n" +
                                        strValues);
}

std::vector<std::string> SplitLines(const std::string& strText)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < strText.size()) {
        const std::size_t end = strText.find("\r\n", start);
        lines.push_back(strText.substr(start, end - start));
        start = end == std::string::npos ? strText.size() : end + 2;
    }
    return lines;
}

// The line layout up to the message: file column, process, thread, optional logical thread,
// source line, time and two blanks.
const std::string kLinePrefix =
    R"(.{20} pr:\d{4,} th:\d{4,}(?: lt:\{[0-9A-F-]{36}\})? ln:\d{5} \d\d:\d\d:\d\d\.\d{3}  )";

class ICDebugTest : public ::testing::Test
{
protected:
    void SetUp() override { ::setenv("TMPDIR", m_folder.Path().c_str(), 1); }
    void TearDown() override { ::unsetenv("TMPDIR"); }

    std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) const
    {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        return files;
    }

    testsupport::ScratchFolder m_folder;
};

} // namespace

TEST_F(ICDebugTest, WithoutSettingsWritesATemporaryFileAndTheDebugger)
{
    const platform::CCapturedDebugOutput debugger;
    std::filesystem::path file;
    {
        ICDebug log(kSubkey, platform::Registry::FromText(""));
        log.LogInfo("src\\keeplib\\Setup.cpp", 42, TRACE_NORMAL, L"value=%d", 7);
        const auto files = FilesIn(m_folder.Path());
        ASSERT_EQ(files.size(), 1u);
        file = files[0];
        EXPECT_EQ(NarrowToWide(file.string()), log.FileName());
    }
    EXPECT_TRUE(std::regex_match(file.filename().string(), std::regex("ICD[0-9A-F]{1,4}\\.tmp")));
    const auto lines = SplitLines(testsupport::ReadFile(file));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Trace file");
    EXPECT_EQ(lines[1], "Trace File Name : " + file.string());
    EXPECT_EQ(lines[2], "LogLevel        : 0");
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(Time            : \d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d{3})")));
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "File Name            PrId    ThrdId  LnNo     Time          Message");
    EXPECT_TRUE(std::regex_match(lines[6],
                                 std::regex("Setup.cpp            pr:\\d+ th:\\d+ ln:00042 [0-9:.]{12}  INF: value=7")))
        << lines[6];
    // The debugger gets the same line, not the header.
    ASSERT_EQ(debugger.Texts().size(), 1u);
    EXPECT_EQ(debugger.Texts()[0], lines[6] + "\r\n");
}

TEST_F(ICDebugTest, OutputsCanBeSwitchedOff)
{
    const platform::CCapturedDebugOutput debugger;
    {
        ICDebug log(kSubkey, Settings("\"OutputToFile\"=dword:00000000\r\n"));
        log.LogError(__FILE__, __LINE__, TRACE_FAILURE, L"to the debugger only");
        EXPECT_TRUE(log.FileName().empty());
    }
    {
        ICDebug log(kSubkey, Settings("\"OutputToFile\"=dword:0\r\n\"OutputToDebugger\"=dword:0\r\n"));
        log.LogError(__FILE__, __LINE__, TRACE_FAILURE, L"nowhere");
    }
    EXPECT_TRUE(FilesIn(m_folder.Path()).empty());
    ASSERT_EQ(debugger.Texts().size(), 1u);
    EXPECT_NE(debugger.Texts()[0].find("ERR: to the debugger only\r\n"), std::string::npos);
}

TEST_F(ICDebugTest, NamedFileGetsProcessAndTimeInItsNameAndItsFoldersAreMade)
{
    const std::string strBase = (m_folder.Path() / "Logs" / "Sub" / "keeplib").string();
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase +
                                      "\"\r\n\"Info\"=\"Keeplib trace\"\r\n"
                                      "\"OutputToDebugger\"=dword:0\r\n\"LogLevel\"=dword:0000003c\r\n"));
        strFileName = log.FileName();
        log.LogWarning(__FILE__, __LINE__, TRACE_NORMAL, L"kept");
        log.LogWarning(__FILE__, __LINE__, TRACE_DETAIL, L"dropped");
    }
    const std::string strFile = WideToNarrow(strFileName);
    EXPECT_TRUE(std::regex_match(
        strFile, std::regex(strBase + "-" + std::to_string(::getpid()) + R"(-\d\d-\d\d-\d\d-\d{3}\.log)")))
        << strFile;
    const auto lines = SplitLines(testsupport::ReadFile(strFile));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "Keeplib trace");
    EXPECT_EQ(lines[2], "LogLevel        : 60");
    EXPECT_TRUE(std::regex_match(lines[6], std::regex(kLinePrefix + "WAR: kept")));
}

TEST_F(ICDebugTest, SettingsOfAnotherTypeAreIgnored)
{
    // A number is no file name, and a text no level: both keep their defaults.
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=dword:00000001\r\n\"LogLevel\"=\"1\"\r\n"
                                      "\"OutputToDebugger\"=dword:0\r\n"));
        strFileName = log.FileName();
    }
    const std::filesystem::path file(WideToNarrow(strFileName));
    EXPECT_EQ(file.parent_path(), m_folder.Path());
    EXPECT_TRUE(std::regex_match(file.filename().string(), std::regex("ICD[0-9A-F]{1,4}\\.tmp"))) << file;
    EXPECT_EQ(SplitLines(testsupport::ReadFile(file)).at(2), "LogLevel        : 0");
}

TEST_F(ICDebugTest, LevelsFilterLinesWhileNestingStillCounts)
{
    const platform::CCapturedDebugOutput debugger;
    ICDebug log(kSubkey,
                Settings("\"OutputToFile\"=dword:0\r\n\"LogLevel\"=dword:0000000c\r\n\"WantIndent\"=dword:1\r\n"));
    log.LogInfo("a.cpp", 1, TRACE_ENTRY_EXIT, L"+ Entering Function : f()");
    log.IncTab();
    log.LogInfo("a.cpp", 2, TRACE_NORMAL, L"inside");
    log.IncTab();
    log.LogInfo("a.cpp", 3, TRACE_FAILURE, L"deeper");
    log.DecTab();
    log.DecTab();
    log.DecTab();
    log.LogInfo("a.cpp", 4, 12, L"below zero");
    const auto texts = debugger.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_TRUE(std::regex_match(texts[0], std::regex(kLinePrefix + "  INF: inside\r\n")));
    EXPECT_TRUE(std::regex_match(texts[1], std::regex(kLinePrefix + "    INF: deeper\r\n")));
    EXPECT_TRUE(std::regex_match(texts[2], std::regex(kLinePrefix + "INF: below zero\r\n")));
}

TEST_F(ICDebugTest, IndentationStopsAtFiftyLevels)
{
    const platform::CCapturedDebugOutput debugger;
    ICDebug log(kSubkey, Settings("\"OutputToFile\"=dword:0\r\n\"WantIndent\"=dword:1\r\n"));
    for (int i = 0; i < 60; ++i)
        log.IncTab();
    log.LogInfo("a.cpp", 1, TRACE_NORMAL, L"deep");
    ASSERT_EQ(debugger.Texts().size(), 1u);
    EXPECT_TRUE(
        std::regex_match(debugger.Texts()[0], std::regex(kLinePrefix + std::string(100, ' ') + "INF: deep\r\n")));
}

TEST_F(ICDebugTest, FileColumnShowsTheNameAfterTheLastSeparatorInTwentyCharacters)
{
    const platform::CCapturedDebugOutput debugger;
    ICDebug log(kSubkey, Settings("\"OutputToFile\"=dword:0\r\n"));
    const std::pair<const char*, std::string> cases[] = {
        {"plain.cpp", "plain.cpp           "},
        {"src\\keeplib\\Setup.cpp", "Setup.cpp           "},
        {"/work/keepctl/KeepctlArguments.cpp", "KeepctlArguments.cpp"},
        {"ThisNameIsLongerThanTwenty.cpp", "ThisNameIsLongerThan"},
        {nullptr, "                    "},
    };
    for (const auto& [szPath, strColumn] : cases)
        log.LogInfo(szPath, 1, TRACE_NORMAL, L"x");
    const auto texts = debugger.Texts();
    ASSERT_EQ(texts.size(), std::size(cases));
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(texts[i].substr(0, 21), cases[i].second + " ");
}

TEST_F(ICDebugTest, LogicalThreadColumnAndLongMessages)
{
    const std::string strBase = (m_folder.Path() / "lt").string();
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase +
                                      "\"\r\n\"WantLogicalThread\"=dword:1\r\n"
                                      "\"OutputToDebugger\"=dword:0\r\n"));
        strFileName = log.FileName();
        log.LogInfo("a.cpp", 1, TRACE_NORMAL, L"%ls", std::wstring(3000, L'z').c_str());
        log.LogInfo("a.cpp", 2, TRACE_NORMAL, L"caf\u00e9 \u20ac");
    }
    const auto lines = SplitLines(testsupport::ReadFile(WideToNarrow(strFileName)));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], "File Name            PrId    ThrdId  LTId                                      LnNo     Time  "
                        "        Message");
    EXPECT_TRUE(std::regex_match(lines[6], std::regex(kLinePrefix + "INF: " + std::string(1018, 'z'))));
    EXPECT_NE(lines[6].find(" lt:{"), std::string::npos);
    EXPECT_TRUE(std::regex_match(lines[7], std::regex(kLinePrefix + "INF: caf\xc3\xa9 \xe2\x82\xac")));
}

TEST_F(ICDebugTest, LinesFromManyThreadsNeverInterleave)
{
    const std::string strBase = (m_folder.Path() / "threads").string();
    std::wstring strFileName;
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 300;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase +
                                      "\"\r\n\"OutputToDebugger\"=dword:0\r\n"
                                      "\"WantIndent\"=dword:1\r\n"));
        strFileName = log.FileName();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&log, t] {
                log.IncTab();
                for (int i = 0; i < kLinesEach; ++i)
                    log.LogInfo("t.cpp", t, TRACE_NORMAL, L"thread %d line %d %ls", t, i,
                                std::wstring(100, L'a' + t).c_str());
                log.DecTab();
            });
        }
        for (auto& thread : threads)
            thread.join();
    }
    const auto lines = SplitLines(testsupport::ReadFile(WideToNarrow(strFileName)));
    ASSERT_EQ(lines.size(), 6u + kThreads * kLinesEach);
    const std::regex line(kLinePrefix + R"(  INF: thread (\d) line \d+ ([a-d])\2{99})");
    for (std::size_t i = 6; i < lines.size(); ++i)
        ASSERT_TRUE(std::regex_match(lines[i], line)) << lines[i];
}

TEST_F(ICDebugTest, EachLineCarriesItsOwnProcessAndThread)
{
    // The identifiers are asked once per thread: another thread, or a child made by fork, must
    // still show its own.
    const std::string strBase = (m_folder.Path() / "ids").string();
    std::wstring strFileName;
    int iOtherThread = 0;
    pid_t child = 0;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase + "\"\r\n\"OutputToDebugger\"=dword:0\r\n"));
        strFileName = log.FileName();
        log.LogInfo("ids.cpp", 1, TRACE_NORMAL, L"main");
        std::thread([&] {
            iOtherThread = static_cast<int>(::gettid());
            log.LogInfo("ids.cpp", 2, TRACE_NORMAL, L"thread");
        }).join();
        child = ::fork();
        if (child == 0) {
            log.LogInfo("ids.cpp", 3, TRACE_NORMAL, L"child");
            ::_exit(0);
        }
        ASSERT_GT(child, 0);
        int iStatus = 0;
        ASSERT_EQ(::waitpid(child, &iStatus, 0), child);
        log.LogInfo("ids.cpp", 4, TRACE_NORMAL, L"main again");
    }
    const auto lines = SplitLines(testsupport::ReadFile(WideToNarrow(strFileName)));
    ASSERT_EQ(lines.size(), 10u);
    const int iProcess = static_cast<int>(::getpid());
    const int iMain = static_cast<int>(::gettid());
    const std::pair<std::string, std::pair<int, int>> expected[] = {
        {"main", {iProcess, iMain}},
        {"thread", {iProcess, iOtherThread}},
        {"child", {static_cast<int>(child), static_cast<int>(child)}},
        {"main again", {iProcess, iMain}},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const auto& [strMessage, ids] = expected[i];
        const std::string& strLine = lines[6 + i];
        EXPECT_TRUE(strLine.ends_with("INF: " + strMessage)) << strLine;
        EXPECT_EQ(strLine.substr(21, strLine.find(" ln:") - 21), FormatA("pr:%04d th:%04d", ids.first, ids.second));
    }
}

TEST_F(ICDebugTest, LogFilesAreReadableByTheirOwnerOnly)
{
    const std::string strBase = (m_folder.Path() / "private").string();
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase + "\"\r\n\"OutputToDebugger\"=dword:0\r\n"));
        strFileName = log.FileName();
    }
    struct stat info
    {
    };
    ASSERT_EQ(::stat(WideToNarrow(strFileName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ICDebugTest, ALogWhoseFileCannotBeHadWritesNoFileAtAll)
{
    // The name stays the log's, and no temporary file takes its place: the registry asked for
    // that file and no other.
    m_folder.Write("blocker", "");
    const std::string strBase = (m_folder.Path() / "blocker" / "keeplib").string();
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase + "\"\r\n\"OutputToDebugger\"=dword:0\r\n"));
        log.LogError(__FILE__, __LINE__, TRACE_FAILURE, L"secret");
        strFileName = log.FileName();
    }
    EXPECT_TRUE(WideToNarrow(strFileName).starts_with(strBase + "-")) << WideToNarrow(strFileName);
    EXPECT_EQ(FilesIn(m_folder.Path()), std::vector<std::filesystem::path>{m_folder.Path() / "blocker"});
    EXPECT_EQ(testsupport::ReadFile(m_folder.Path() / "blocker"), "");
}

TEST_F(ICDebugTest, NoFolderIsMadeThroughALink)
{
    // A folder on the path that is a link to another folder would make the log create its
    // folders and its file there.
    const testsupport::ScratchFolder elsewhere;
    std::filesystem::create_directory_symlink(elsewhere.Path(), m_folder.Path() / "link");
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + (m_folder.Path() / "link" / "sub" / "keeplib").string() +
                                      "\"\r\n\"OutputToDebugger\"=dword:0\r\n"));
        log.LogError(__FILE__, __LINE__, TRACE_FAILURE, L"line");
    }
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.Path()));
}

TEST_F(ICDebugTest, TheHeaderShowsControlCharactersOfTheFileNameEscaped)
{
    const std::string strBase = (m_folder.Path() / "log\x1b[2J\x07").string();
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase + "\"\r\n\"OutputToDebugger\"=dword:0\r\n"));
        strFileName = log.FileName();
    }
    const auto lines = SplitLines(testsupport::ReadFile(WideToNarrow(strFileName)));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Trace File Name : " + EscapeControlCharacters(std::string_view(WideToNarrow(strFileName))));
    EXPECT_NE(lines[1].find("log\\x1b[2J\\x07-"), std::string::npos);
}

TEST_F(ICDebugTest, ControlCharactersOfAMessageAreEscapedSoThatOneMessageStaysOneLine)
{
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"OutputToDebugger\"=dword:0\r\n"));
        strFileName = log.FileName();
        // A server's error message that tries to forge a line of its own.
        log.LogInfo("Test.cpp", 1, TRACE_NORMAL, L"bstrDescription = '%ls'",
                    L"denied\r\nTest.cpp pr:0001 INF: Success\x1b[2J");
    }
    const auto lines = SplitLines(testsupport::ReadFile(WideToNarrow(strFileName)));
    ASSERT_GE(lines.size(), 1u);
    EXPECT_TRUE(
        lines.back().ends_with("INF: bstrDescription = 'denied\\x0d\\x0aTest.cpp pr:0001 INF: Success\\x1b[2J'"))
        << lines.back();
}

TEST_F(ICDebugTest, ALogWritesAtTheEndOfItsFileWhateverWasAddedMeanwhile)
{
    // Another log of this process that opened the same name (started in the same millisecond with
    // the same base name) writes between two of this log's lines: neither overwrites the other.
    const std::string strBase = (m_folder.Path() / "shared").string();
    std::wstring strFileName;
    {
        ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase + "\"\r\n\"OutputToDebugger\"=dword:0\r\n"));
        strFileName = log.FileName();
        std::ofstream(WideToNarrow(strFileName), std::ios::app | std::ios::binary) << "the other log's line\r\n";
        log.LogInfo(__FILE__, __LINE__, TRACE_NORMAL, L"later line");
    }
    const auto lines = SplitLines(testsupport::ReadFile(WideToNarrow(strFileName)));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Trace file");
    EXPECT_EQ(lines[6], "the other log's line");
    EXPECT_TRUE(std::regex_match(lines[7], std::regex(kLinePrefix + "INF: later line")));
}

TEST_F(ICDebugTest, ATraceFileNameOfMoreThan255CharactersCountsAsMissing)
{
    for (const std::size_t cchName : {255u, 256u}) {
        SCOPED_TRACE(cchName);
        const testsupport::ScratchFolder logs;
        std::string strBase = (logs.Path() / "sub" / "").string();
        strBase.resize(cchName, 'n');
        {
            ICDebug log(kSubkey, Settings("\"TraceFileName\"=\"" + strBase + "\"\r\n\"OutputToDebugger\"=dword:0\r\n"));
            const std::string strFile = WideToNarrow(log.FileName());
            if (cchName == 255)
                EXPECT_TRUE(strFile.starts_with(strBase + "-")) << strFile;
            else
                EXPECT_TRUE(std::regex_match(strFile, std::regex(m_folder.Path().string() + "/ICD[0-9A-F]{1,4}\\.tmp")))
                    << strFile;
        }
        EXPECT_EQ(FilesIn(logs.Path()).size(), cchName == 255 ? 1u : 0u);
    }
}
