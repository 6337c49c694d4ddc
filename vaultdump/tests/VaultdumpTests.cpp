// vaultdump as a user runs it: folders written with the quarantine-file writer, the bytes the
// program prints, its exit status and the files it leaves behind.

#include "TestFiles.h"
#include "common/StringUtils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace VaultdumpTest;

namespace {

const std::filesystem::path kVaultdump = VAULTDUMP_PATH;
const std::filesystem::path kQuarwriter = QUARWRITER_PATH;

const std::string kUsage = "Usage:\r\nVaultdump.exe <path to quarantine files directory>\r\n";
const std::string kBadCount = "Invalid number of arguments.\r\n" + kUsage;
const std::string kBadPath = "Invalid path to quarantine files directory.\r\n" + kUsage;

testsupport::ProgramResult RunVaultdump(const std::vector<std::string>& arguments)
{
    return testsupport::RunProgram(kVaultdump, arguments);
}

// What one run should print for the .tmp entries it meets, in name order: for each, the output
// file named in the actual run when it is extracted, or nothing when it is passed over.
enum class Outcome { Extracted, Failed, Skipped };

struct Expected
{
    std::string strName;
    Outcome outcome;
};

struct RunCheck
{
    std::string strStdout;
    std::map<std::string, std::string> outputs; // quarantine file name to output file name
};

// Builds the exact text a run over strShownFolder prints, taking the output names from the actual
// text (they are chosen at random), and checks that they are well formed and distinct.
RunCheck ExpectedText(const std::string& strShownFolder, const std::vector<Expected>& entries,
                      const std::string& strActual)
{
    RunCheck check;
    const std::regex extracted(R"(Extracted file \[([^\]\r\n]*)\] as \[([^\]\r\n]*)\]\r\n)");
    std::map<std::string, std::string> actualOutputs;
    for (auto it = std::sregex_iterator(strActual.begin(), strActual.end(), extracted); it != std::sregex_iterator();
         ++it)
        actualOutputs[(*it)[1]] = (*it)[2];
    const std::regex outputName("EXT[0-9A-F]{1,4}\\.tmp");
    check.strStdout = "Enumerating files from folder [" + strShownFolder + "]\r\n";
    int cExtracted = 0;
    for (const Expected& entry : entries) {
        const std::string strPath = strShownFolder + entry.strName;
        if (entry.outcome == Outcome::Failed) {
            check.strStdout += "Extracting from file [" + strPath + "] failed\r\n";
        } else if (entry.outcome == Outcome::Extracted) {
            const std::string strOutput = actualOutputs.count(strPath) ? actualOutputs[strPath] : "?";
            EXPECT_EQ(strOutput.rfind(strShownFolder, 0), 0u) << strOutput;
            const std::string strOutputName = strOutput.substr(std::min(strShownFolder.size(), strOutput.size()));
            EXPECT_TRUE(std::regex_match(strOutputName, outputName)) << strOutputName;
            for (const auto& [strOther, strOtherOutput] : check.outputs)
                EXPECT_NE(strOtherOutput, strOutputName) << strOther;
            check.outputs[entry.strName] = strOutputName;
            check.strStdout += "Extracted file [" + strPath + "] as [" + strOutput + "]\r\n";
            ++cExtracted;
        }
    }
    check.strStdout += std::to_string(cExtracted) + " file(s) were extracted successfully\r\n";
    return check;
}

// --- the command line ---------------------------------------------------------------------------

TEST(VaultdumpCommandLine, WrongArgumentCounts)
{
    const testsupport::ScratchFolder folder;
    const std::string strFolder = folder.Path().string();
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{}, {strFolder, strFolder}, {strFolder, "x", "y"}}) {
        const auto result = RunVaultdump(arguments);
        EXPECT_EQ(result.strStdout, kBadCount);
        EXPECT_EQ(result.strStderr, "");
        EXPECT_EQ(result.iExitStatus, 1);
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST(VaultdumpCommandLine, PathThatIsNoFolder)
{
    const testsupport::ScratchFolder folder;
    const auto file = folder.Write("Q.tmp", QuarFile("item"));
    const std::string strTooLong = "/" + std::string(5000, 'p');
    for (const std::string& strPath :
         {file.string(), file.string() + "/", (folder.Path() / "missing").string(), std::string(), strTooLong}) {
        const auto result = RunVaultdump({strPath});
        EXPECT_EQ(result.strStdout, kBadPath) << strPath.substr(0, 80);
        EXPECT_EQ(result.iExitStatus, 1);
    }
    EXPECT_EQ(FolderFiles(folder.Path()).size(), 1u);
}

TEST(VaultdumpCommandLine, TrailingSlashOrNotBehavesAlike)
{
    for (const bool bSlash : {false, true}) {
        const testsupport::ScratchFolder folder;
        folder.Write("Q1.tmp", QuarFile("first"));
        const std::string strArgument = folder.Path().string() + (bSlash ? "/" : "");
        const auto result = RunVaultdump({strArgument});
        const RunCheck check =
            ExpectedText(folder.Path().string() + "/", {{"Q1.tmp", Outcome::Extracted}}, result.strStdout);
        EXPECT_EQ(result.strStdout, check.strStdout);
        EXPECT_EQ(result.iExitStatus, 0);
    }
}

TEST(VaultdumpCommandLine, RelativeFolderIsShownAsGiven)
{
    const testsupport::ScratchFolder folder;
    folder.Write("sub/Q.tmp", QuarFile("relative"));
    // The program runs in the test's working folder; a path relative to it names the scratch folder.
    const std::string strRelative = std::filesystem::relative(folder.Path() / "sub").string();
    const auto result = RunVaultdump({strRelative});
    const RunCheck check = ExpectedText(strRelative + "/", {{"Q.tmp", Outcome::Extracted}}, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / "sub" / check.outputs.at("Q.tmp")), "relative");
}

// --- the scan -------------------------------------------------------------------------------------

TEST(VaultdumpScan, FolderWithoutTmpFilesCannotBeEnumerated)
{
    const testsupport::ScratchFolder folder;
    for (const bool bEmpty : {true, false}) {
        if (!bEmpty) {
            folder.Write("notes.txt", "text");
            folder.Write("Q.tmpx", QuarFile("not matched"));
            folder.Write("tmp", QuarFile("no dot"));
        }
        const auto before = FolderFiles(folder.Path());
        const auto result = RunVaultdump({folder.Path().string()});
        const std::string strShown = folder.Path().string() + "/";
        EXPECT_EQ(result.strStdout, "Enumerating files from folder [" + strShown +
                                        "]\r\nCould not enumerate files in [" + strShown +
                                        "]\r\n0 file(s) were extracted successfully\r\n");
        EXPECT_EQ(result.iExitStatus, 0);
        EXPECT_EQ(FolderFiles(folder.Path()), before);
    }
}

TEST(VaultdumpScan, TwoGoodFilesAndOneDamaged)
{
    const testsupport::ScratchFolder folder;
    const std::string strFirst = AllByteValues();
    const std::string strSecond = "Subject: quarantined\r\n\r\nbody\r\n";
    folder.Write("Q0001.tmp", QuarFile(strFirst, {u"SRV one", u"MSG two"}));
    folder.Write("Q0002.tmp", QuarFile(strSecond));
    folder.Write("Q0003.tmp", "\xFF\xFE" + HedLine(u"0000") + "payload");
    const auto before = FolderFiles(folder.Path());

    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check = ExpectedText(
        folder.Path().string() + "/",
        {{"Q0001.tmp", Outcome::Extracted}, {"Q0002.tmp", Outcome::Extracted}, {"Q0003.tmp", Outcome::Failed}},
        result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(result.strStderr, "");
    EXPECT_EQ(result.iExitStatus, 0);

    auto expectedFiles = before;
    expectedFiles[check.outputs.at("Q0001.tmp")] = strFirst;
    expectedFiles[check.outputs.at("Q0002.tmp")] = strSecond;
    EXPECT_EQ(FolderFiles(folder.Path()), expectedFiles);
}

TEST(VaultdumpScan, ExtensionMatchesWithoutRegardToCase)
{
    const testsupport::ScratchFolder folder;
    folder.Write("A.TMP", QuarFile("upper"));
    folder.Write("B.Tmp", QuarFile("mixed"));
    folder.Write("c.tmp", QuarFile("lower"));
    folder.Write(".tmp", QuarFile("only the extension"));
    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check = ExpectedText(folder.Path().string() + "/",
                                        {{".tmp", Outcome::Extracted},
                                         {"A.TMP", Outcome::Extracted},
                                         {"B.Tmp", Outcome::Extracted},
                                         {"c.tmp", Outcome::Extracted}},
                                        result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / check.outputs.at("A.TMP")), "upper");
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / check.outputs.at("B.Tmp")), "mixed");
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / check.outputs.at("c.tmp")), "lower");
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / check.outputs.at(".tmp")), "only the extension");
}

TEST(VaultdumpScan, DirectoriesAndVanishedEntriesArePassedOver)
{
    const testsupport::ScratchFolder folder;
    std::filesystem::create_directory(folder.Path() / "sub.tmp");
    folder.Write("sub.tmp/Q.tmp", QuarFile("below"));
    std::filesystem::create_directory_symlink(folder.Path() / "sub.tmp", folder.Path() / "link.tmp");
    std::filesystem::create_symlink(folder.Path() / "nowhere", folder.Path() / "dangling.tmp");
    folder.Write("Z.tmp", QuarFile("top"));
    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check =
        ExpectedText(folder.Path().string() + "/", {{"Z.tmp", Outcome::Extracted}}, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    // Nothing is written below the folder.
    EXPECT_EQ(FolderFiles(folder.Path() / "sub.tmp").size(), 1u);
}

// Damaged files, each alone beside one good file: it fails with its message, leaves no output
// file, and the good one is still extracted.
struct DamageCase
{
    const char* szName;
    std::string strBytes;
};

class VaultdumpDamagedFile : public testing::TestWithParam<DamageCase>
{
};

TEST_P(VaultdumpDamagedFile, FailsAloneAndLeavesNoOutput)
{
    const testsupport::ScratchFolder folder;
    folder.Write("Q1.tmp", GetParam().strBytes);
    folder.Write("Q2.tmp", QuarFile("good"));
    const auto before = FolderFiles(folder.Path());
    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check = ExpectedText(
        folder.Path().string() + "/", {{"Q1.tmp", Outcome::Failed}, {"Q2.tmp", Outcome::Extracted}}, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(result.iExitStatus, 0);
    auto expectedFiles = before;
    expectedFiles[check.outputs.at("Q2.tmp")] = "good";
    EXPECT_EQ(FolderFiles(folder.Path()), expectedFiles);
}

INSTANTIATE_TEST_SUITE_P(Vaultdump, VaultdumpDamagedFile,
                         testing::Values(DamageCase{"Empty", ""},
                                         DamageCase{"ByteOrderMark", "\xFF\xFE" + HedLine(u"0000") + "x"},
                                         DamageCase{"LowerCaseHed", U16(u"hed0000xxxxxxxxxxxxxxxxxxxxxx\r\n") + "x"},
                                         DamageCase{"ShortHedLine", HedLine(u"0000", 28) + "x"},
                                         DamageCase{"LoneCr", HedLine(u"0001") + U16(u"a\rb\r\n") + "x"},
                                         DamageCase{"TruncatedInHeader", HedLine(u"0003") + U16(u"one\r\ntw")},
                                         DamageCase{"TruncatedInCodeUnit", HedLine(u"0001") + U16(u"one\r") + "\x0A"},
                                         DamageCase{"PlainText", "This is not a quarantine file.\r\n"}),
                         [](const testing::TestParamInfo<DamageCase>& caseInfo) {
                             return std::string(caseInfo.param.szName);
                         });

TEST(VaultdumpScan, FilesThatCannotBeReadFailAlone)
{
    const testsupport::ScratchFolder folder;
    ASSERT_EQ(::mkfifo((folder.Path() / "Q1.tmp").c_str(), 0600), 0);
    // A socket cannot be opened as a file by anyone.
    const CAutoFileHandle socket = VaultdumpTest::BindSocket(folder.Path() / "Q2.tmp");
    ASSERT_TRUE(socket);
    folder.Write("Q3.tmp", QuarFile("good"));
    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check = ExpectedText(
        folder.Path().string() + "/",
        {{"Q1.tmp", Outcome::Failed}, {"Q2.tmp", Outcome::Failed}, {"Q3.tmp", Outcome::Extracted}}, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(FolderFiles(folder.Path()).size(), 2u);
}

TEST(VaultdumpScan, UnreadableFileFailsAlone)
{
    const testsupport::ScratchFolder folder;
    const auto locked = folder.Write("Q1.tmp", QuarFile("locked"));
    folder.Write("Q2.tmp", QuarFile("good"));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    if (::access(locked.c_str(), R_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check = ExpectedText(
        folder.Path().string() + "/", {{"Q1.tmp", Outcome::Failed}, {"Q2.tmp", Outcome::Extracted}}, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
}

TEST(VaultdumpScan, UnwritableFolderFailsEachItem)
{
    const testsupport::ScratchFolder folder;
    folder.Write("Q1.tmp", QuarFile("one"));
    std::filesystem::permissions(folder.Path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access(folder.Path().c_str(), W_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    const auto result = RunVaultdump({folder.Path().string()});
    EXPECT_EQ(result.strStdout,
              ExpectedText(folder.Path().string() + "/", {{"Q1.tmp", Outcome::Failed}}, "").strStdout);
}

TEST(VaultdumpScan, AFolderFullOfOutputsFailsEachItemAndCarriesOn)
{
    // Every EXT name is taken by the outputs of earlier runs. Each item fails as a damaged file
    // does, the earlier outputs (no quarantine files) fail too, and the run goes on to its end.
    const testsupport::ScratchFolder folder;
    std::vector<Expected> entries;
    for (unsigned u = 1; u <= 0xFFFF; ++u) {
        const std::string strName = FormatA("EXT%X.tmp", u);
        CAutoFileHandle(::open((folder.Path() / strName).c_str(), O_WRONLY | O_CREAT, 0600));
        entries.push_back({strName, Outcome::Failed});
    }
    for (const char* szName : {"Q1.tmp", "Q2.tmp"}) {
        folder.Write(szName, QuarFile(szName));
        entries.push_back({szName, Outcome::Failed});
    }
    std::sort(entries.begin(), entries.end(),
              [](const Expected& a, const Expected& b) { return a.strName < b.strName; });
    const auto result = RunVaultdump({folder.Path().string()});
    EXPECT_EQ(result.strStdout, ExpectedText(folder.Path().string() + "/", entries, "").strStdout);
    EXPECT_EQ(result.iExitStatus, 0);
}

TEST(VaultdumpScan, SecondRunMeetsTheFirstRunsOutputs)
{
    const testsupport::ScratchFolder folder;
    folder.Write("Q1.tmp", QuarFile("one"));
    folder.Write("Q2.tmp", QuarFile("two"));
    const auto first = RunVaultdump({folder.Path().string()});
    const RunCheck firstCheck =
        ExpectedText(folder.Path().string() + "/", {{"Q1.tmp", Outcome::Extracted}, {"Q2.tmp", Outcome::Extracted}},
                     first.strStdout);
    ASSERT_EQ(first.strStdout, firstCheck.strStdout);
    const auto afterFirst = FolderFiles(folder.Path());

    // The earlier outputs are no quarantine files: each fails, and is neither changed nor removed.
    const auto second = RunVaultdump({folder.Path().string()});
    std::vector<Expected> entries;
    for (const auto& [strName, strContent] : afterFirst)
        entries.push_back({strName, strName.starts_with("EXT") ? Outcome::Failed : Outcome::Extracted});
    const RunCheck secondCheck = ExpectedText(folder.Path().string() + "/", entries, second.strStdout);
    EXPECT_EQ(second.strStdout, secondCheck.strStdout);
    auto expectedFiles = afterFirst;
    expectedFiles[secondCheck.outputs.at("Q1.tmp")] = "one";
    expectedFiles[secondCheck.outputs.at("Q2.tmp")] = "two";
    EXPECT_EQ(FolderFiles(folder.Path()), expectedFiles);
}

TEST(VaultdumpScan, PathsLongerThan260Characters)
{
    const testsupport::ScratchFolder folder;
    std::filesystem::path deep = folder.Path();
    for (int i = 0; i < 4; ++i)
        deep /= std::string(90, static_cast<char>('a' + i));
    std::filesystem::create_directories(deep);
    const std::string strName = std::string(200, 'Q') + ".tmp";
    const std::string strItem = AllByteValues();
    std::ofstream(deep / strName, std::ios::binary) << QuarFile(strItem);
    ASSERT_GT((deep / strName).string().size(), 560u);
    const auto result = RunVaultdump({deep.string()});
    const RunCheck check = ExpectedText(deep.string() + "/", {{strName, Outcome::Extracted}}, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(testsupport::ReadFile(deep / check.outputs.at(strName)), strItem);
}

TEST(VaultdumpScan, NamesThatAreNotUtf8PrintAsTheirBytes)
{
    const testsupport::ScratchFolder folder;
    const std::string strName = "Q\xE9\xFF.tmp";
    folder.Write(strName, QuarFile("latin"));
    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check =
        ExpectedText(folder.Path().string() + "/", {{strName, Outcome::Extracted}}, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / check.outputs.at(strName)), "latin");
}

TEST(VaultdumpScan, ManyFilesAllExtracted)
{
    const testsupport::ScratchFolder folder;
    std::vector<Expected> entries;
    for (int i = 0; i < 300; ++i) {
        char szName[32];
        std::snprintf(szName, sizeof szName, "Q%04d.tmp", i);
        folder.Write(szName, QuarFile("item " + std::to_string(i), {u"line"}));
        entries.push_back({szName, Outcome::Extracted});
    }
    const auto result = RunVaultdump({folder.Path().string()});
    const RunCheck check = ExpectedText(folder.Path().string() + "/", entries, result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    for (int i = 0; i < 300; ++i) {
        char szName[32];
        std::snprintf(szName, sizeof szName, "Q%04d.tmp", i);
        EXPECT_EQ(testsupport::ReadFile(folder.Path() / check.outputs.at(szName)), "item " + std::to_string(i));
    }
}

// --- runs that are broken off ------------------------------------------------------------------

namespace {

// Stops vaultdump with the signal once it has printed its first extracted item, and checks what it
// leaves: every output it printed holds its whole item, and no other output looks finished. After
// SIGKILL the name reserved for the item in flight may remain, empty; after SIGINT and SIGTERM
// nothing unprinted remains.
void CheckBrokenOffRun(int iSignal)
{
    const testsupport::ScratchFolder folder;
    std::map<std::string, std::string> items;
    for (int i = 0; i < 1000; ++i) {
        const std::string strName = FormatA("Q%04d.tmp", i);
        items[strName] = FormatA("item %04d ", i) + std::string(32 * 1024, static_cast<char>('a' + i % 26));
        folder.Write(strName, QuarFile(items[strName]));
    }
    testsupport::CRunningProgram vaultdump(kVaultdump, {folder.Path().string()});
    std::string strPrinted;
    for (int iLine = 0; iLine < 2; ++iLine) { // the folder, then the first item
        const std::optional<std::string> line = vaultdump.ReadLine(testsupport::kProgramHangGuard);
        ASSERT_TRUE(line);
        strPrinted += *line + "\n";
    }
    // Nothing more is read before the signal has gone: a thousand lines of some 95 bytes fill the
    // pipe, and vaultdump waits there, long before its last item, however long the test is held up.
    ::kill(vaultdump.Pid(), iSignal);
    const testsupport::ProgramResult result = vaultdump.Wait();
    ASSERT_EQ(result.iExitStatus, -1) << "the run ended before it was broken off";
    strPrinted += result.strStdout;

    // Every line the run printed before it ended reached the pipe, and names a whole output.
    const std::string strShown = folder.Path().string() + "/";
    const std::string strPrefix = "Extracted file [" + strShown;
    std::map<std::string, std::string> printed; // output name to the item it must hold
    std::istringstream lines(strPrinted);
    for (std::string strLine; std::getline(lines, strLine);) {
        EXPECT_TRUE(strLine.ends_with('\r')) << "a line was cut short: " << strLine;
        if (!strLine.starts_with(strPrefix))
            continue;
        const std::size_t close = strLine.find(']');
        const std::string strSource = strLine.substr(strPrefix.size(), close - strPrefix.size());
        const std::string strOutput = strLine.substr(std::min(close + 6 + strShown.size(), strLine.size()));
        if (items.contains(strSource))
            printed[strOutput.substr(0, strOutput.find(']'))] = items[strSource];
    }
    EXPECT_FALSE(printed.empty());
    int cUnprinted = 0;
    for (const auto& [strName, strContent] : FolderFiles(folder.Path())) {
        if (!strName.starts_with("EXT"))
            continue;
        if (printed.contains(strName)) {
            EXPECT_TRUE(strContent == printed.at(strName)) << strName << " holds " << strContent.size() << " bytes";
        } else {
            ++cUnprinted;
            EXPECT_TRUE(strContent.empty()) << strName << " looks like a finished output";
        }
    }
    EXPECT_LE(cUnprinted, iSignal == SIGKILL ? 1 : 0);
}

} // namespace

TEST(VaultdumpBrokenOff, InterruptedRunLeavesOnlyWholePrintedOutputs)
{
    CheckBrokenOffRun(SIGINT);
    CheckBrokenOffRun(SIGTERM);
}

TEST(VaultdumpBrokenOff, KilledRunLeavesAtMostAnEmptyReservedName)
{
    CheckBrokenOffRun(SIGKILL);
}

// --- folders that others can write ------------------------------------------------------------

// Another account at work in the folder while vaultdump runs: every new EXT name is taken over at
// once by a file or a pipe of its own, renamed over it.
class CNameTakeover
{
public:
    enum class Plant { File, Pipe };

    // Up to cNames names are taken over, from files or pipes planted beforehand, so that taking
    // one over is a single rename. Each planted object stays open here: what it holds can be read
    // wherever its name went (vaultdump may remove it from a name it took over a moment too late).
    // A pipe is open for reading, so that a writer would not block but leave its bytes in it.
    CNameTakeover(const std::filesystem::path& folder, Plant plant, int cNames)
        : m_folder(folder), m_inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (int i = 0; i < cNames; ++i) {
            const std::filesystem::path planted = Planted(static_cast<std::size_t>(i));
            if (plant == Plant::Pipe)
                ::mkfifo(planted.c_str(), 0666);
            else
                std::ofstream(planted, std::ios::binary) << "planted";
            m_planted.emplace_back(::open(planted.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            if (!m_planted.back())
                throw std::runtime_error("cannot open what was planted");
        }
        m_cPlanted = static_cast<std::size_t>(cNames);
        if (!m_inotify || ::inotify_add_watch(m_inotify.Get(), folder.c_str(), IN_CREATE) < 0)
            throw std::runtime_error("inotify failed");
        m_thread = std::thread([this] { Run(); });
    }
    ~CNameTakeover() { Stop(); }
    CNameTakeover(const CNameTakeover&) = delete;
    CNameTakeover& operator=(const CNameTakeover&) = delete;

    // Stops watching; the names taken over.
    std::vector<std::string> Stop()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_taken;
    }

    // What each planted object that took a name over holds now.
    std::vector<std::string> TakenContents() const
    {
        std::vector<std::string> contents;
        for (std::size_t i = 0; i < m_taken.size(); ++i) {
            std::string strContent(4096, '\0');
            const ssize_t cb = ::read(m_planted[i].Get(), strContent.data(), strContent.size());
            strContent.resize(cb > 0 ? static_cast<std::size_t>(cb) : 0);
            contents.push_back(std::move(strContent));
        }
        return contents;
    }

private:
    void Run()
    {
        alignas(inotify_event) char buffer[4096];
        while (!m_bStop) {
            pollfd events{m_inotify.Get(), POLLIN, 0};
            if (::poll(&events, 1, 20) <= 0)
                continue;
            const ssize_t cb = ::read(m_inotify.Get(), buffer, sizeof buffer);
            for (ssize_t at = 0; at < cb;) {
                const auto* pEvent = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + pEvent->len);
                if (pEvent->len > 0 && std::string_view(pEvent->name).starts_with("EXT"))
                    TakeOver(pEvent->name);
            }
        }
    }
    std::filesystem::path Planted(std::size_t i) const { return m_folder / ("planted-" + std::to_string(i)); }
    void TakeOver(const std::string& strName)
    {
        if (m_taken.size() < m_cPlanted && ::rename(Planted(m_taken.size()).c_str(), (m_folder / strName).c_str()) == 0)
            m_taken.push_back(strName);
    }

    std::filesystem::path m_folder;
    std::vector<CAutoFileHandle> m_planted;
    std::size_t m_cPlanted = 0;
    CAutoFileHandle m_inotify;
    std::atomic<bool> m_bStop{false};
    std::vector<std::string> m_taken; // written by the watching thread only, read once it is gone
    std::thread m_thread;
};

TEST(VaultdumpFolderOfOthers, OutputNamesTakenOverMeanwhileReceiveNothing)
{
    for (const CNameTakeover::Plant plant : {CNameTakeover::Plant::File, CNameTakeover::Plant::Pipe}) {
        const testsupport::ScratchFolder folder;
        // Long headers keep vaultdump busy between reserving a name and writing the item.
        const std::vector<std::u16string> header(300, std::u16string(80, u'h'));
        for (int i = 0; i < 200; ++i)
            folder.Write(FormatA("Q%d.tmp", 1000 + i), QuarFile(FormatA("secret item %d", i), header));
        CNameTakeover takeover(folder.Path(), plant, 200);
        const auto result = RunVaultdump({folder.Path().string()});
        const std::vector<std::string> taken = takeover.Stop();
        // A pipe in place of the output would block a writer that opens the name again for ever.
        EXPECT_EQ(result.iExitStatus, 0);
        EXPECT_FALSE(taken.empty());
        // What the other account planted is still what it planted: it received no item.
        const std::string strPlanted = plant == CNameTakeover::Plant::Pipe ? "" : "planted";
        for (const std::string& strContent : takeover.TakenContents())
            EXPECT_EQ(strContent, strPlanted);
    }
}

TEST(VaultdumpFolderOfOthers, LinksPipesAndDevicesAreNeverOpened)
{
    const testsupport::ScratchFolder folder;
    const testsupport::ScratchFolder elsewhere;
    // A pipe whose writer waits for a reader: it goes on only if vaultdump opens the pipe.
    const auto pipe = folder.Path() / "Q1.tmp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> bReleased{false};
    std::atomic<bool> bOpenedByVaultdump{false};
    std::thread writer([&] {
        const CAutoFileHandle end(::open(pipe.c_str(), O_WRONLY | O_CLOEXEC));
        bOpenedByVaultdump = !bReleased;
    });
    std::filesystem::create_symlink(elsewhere.Write("Q.tmp", QuarFile("outside")), folder.Path() / "Q2.tmp");
    // A device like /dev/null, where this account may make one.
    const bool bDevice = ::mknod((folder.Path() / "Q3.tmp").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    folder.Write("Q4.tmp", QuarFile("good"));

    const auto result = RunVaultdump({folder.Path().string()});
    bReleased = true;
    const CAutoFileHandle reader(::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    writer.join();

    std::vector<Expected> entries{{"Q1.tmp", Outcome::Failed}, {"Q2.tmp", Outcome::Failed}};
    if (bDevice)
        entries.push_back({"Q3.tmp", Outcome::Failed});
    entries.push_back({"Q4.tmp", Outcome::Extracted});
    EXPECT_EQ(result.strStdout, ExpectedText(folder.Path().string() + "/", entries, result.strStdout).strStdout);
    EXPECT_FALSE(bOpenedByVaultdump);
}

TEST(VaultdumpFolderOfOthers, ControlCharactersOfPathsArePrintedEscaped)
{
    const testsupport::ScratchFolder scratch;
    const std::filesystem::path folder = scratch.Path() / "in\x1b[31mred";
    std::filesystem::create_directory(folder);
    const std::string strForged = "Q\r\n7 file(s) were extracted successfully\r\n.tmp";
    std::ofstream(folder / strForged, std::ios::binary) << QuarFile("item");
    std::ofstream(folder / "bad\x07\x9b.tmp", std::ios::binary) << "no quarantine file";
    const auto result = RunVaultdump({folder.string()});
    const std::string strShown = scratch.Path().string() + "/in\\x1b[31mred/";
    const RunCheck check =
        ExpectedText(strShown,
                     {{"Q\\x0d\\x0a7 file(s) were extracted successfully\\x0d\\x0a.tmp", Outcome::Extracted},
                      {"bad\\x07\\x9b.tmp", Outcome::Failed}},
                     result.strStdout);
    EXPECT_EQ(result.strStdout, check.strStdout);
    EXPECT_EQ(testsupport::ReadFile(folder / check.outputs.begin()->second), "item");
}

// --- the writer program -------------------------------------------------------------------------

TEST(Quarwriter, WritesWhatTheWriterLibraryBuilds)
{
    const testsupport::ScratchFolder folder;
    const std::string strItem = AllByteValues();
    const auto item = folder.Write("item.bin", strItem);
    const auto output = folder.Path() / "Q.tmp";
    const auto result =
        testsupport::RunProgram(kQuarwriter, {"--line", "SRV caf\xC3\xA9", "--line", "TRM \xF0\x9F\x93\xA7", "--item",
                                              item.string(), output.string()});
    ASSERT_EQ(result.iExitStatus, 0) << result.strStderr;
    QuarWriter::QuarFileLayout layout;
    layout.headerLines = {u"SRV caf\u00E9", u"TRM \U0001F4E7"};
    layout.strItem = strItem;
    EXPECT_EQ(testsupport::ReadFile(output), QuarWriter::QuarFileBytes(layout));
    EXPECT_EQ(testsupport::ReadFile(output).substr(0, 14), U16(u"HED0002"));

    const auto raw = testsupport::RunProgram(kQuarwriter, {"--count", "+003", "--hed-rest", "r", "--item",
                                                           item.string(), (folder.Path() / "R.tmp").string()});
    ASSERT_EQ(raw.iExitStatus, 0);
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / "R.tmp"), U16(u"HED+003r\r\n") + QuarWriter::Complemented(strItem));

    EXPECT_EQ(testsupport::RunProgram(kQuarwriter, {}).iExitStatus, 2);
    EXPECT_EQ(testsupport::RunProgram(
                  kQuarwriter, {"--item", (folder.Path() / "missing").string(), (folder.Path() / "S.tmp").string()})
                  .iExitStatus,
              1);
}

} // namespace
