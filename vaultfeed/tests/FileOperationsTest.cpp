// The copy into the quarantine folder: exact bytes, never a replaced file, never a partial one,
// and no wait on something that is not a file.

#include "vaultfeed/FileOperations.h"
#include "TestFolders.h"
#include "platform/Win32Error.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <random>
#include <sys/resource.h>

using namespace Vaultfeed;
using namespace VaultfeedTests;

namespace {

std::string RandomBytes(std::size_t cbLength)
{
    std::mt19937 random(12);
    std::string strBytes(cbLength, '\0');
    for (char& c : strBytes)
        c = static_cast<char>(random());
    return strBytes;
}

// Limits the size of every file this process writes, as a full disk would, for the life of the
// object; the signal the limit raises is ignored so that the write fails instead.
class CFileSizeLimit
{
public:
    explicit CFileSizeLimit(rlim_t cbLimit)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{cbLimit, m_previous.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = SIG_DFL;
};

class FileOperations : public ::testing::Test
{
protected:
    std::string Path(const std::string& strName) const { return (m_scratch.Path() / strName).string(); }

    testsupport::ScratchFolder m_scratch;
    CMadeCopy m_copy;
};

TEST_F(FileOperations, CopiesEveryByteUnderTheNewName)
{
    const std::string strBytes = RandomBytes(3 << 20);
    WriteFile(Path("Q1.tmp"), strBytes);
    std::filesystem::create_directory(Path("quarantine"));
    EXPECT_EQ(CopyFileNoReplace(Path("Q1.tmp"), Path("quarantine/Q1.tmp"), m_copy), platform::ERROR_SUCCESS);
    EXPECT_TRUE(testsupport::ReadFile(Path("quarantine/Q1.tmp")) == strBytes);
    EXPECT_EQ(FolderEntries(Path("quarantine")).size(), 1u);
}

TEST_F(FileOperations, RefusesWhatIsNoRegularFileAndNeverReplacesATarget)
{
    std::filesystem::create_directory(Path("quarantine"));
    WriteFile(Path("source"), "new");
    const std::vector<std::pair<const char*, std::function<void()>>> targets = {
        {"a file", [&] { WriteFile(Path("quarantine/Q1.tmp"), "old"); }},
        {"a link that leads nowhere",
         [&] { std::filesystem::create_symlink(Path("missing"), Path("quarantine/Q1.tmp")); }},
        {"a folder", [&] { std::filesystem::create_directory(Path("quarantine/Q1.tmp")); }},
    };
    for (const auto& [szTarget, makeTarget] : targets) {
        SCOPED_TRACE(szTarget);
        makeTarget();
        const std::vector<std::string> before = FolderEntries(Path("quarantine"));
        EXPECT_EQ(CopyFileNoReplace(Path("source"), Path("quarantine/Q1.tmp"), m_copy), platform::ERROR_FILE_EXISTS);
        EXPECT_EQ(FolderEntries(Path("quarantine")), before);
        std::filesystem::remove(Path("quarantine/Q1.tmp"));
    }

    MakeFifo(Path("pipe"));
    std::filesystem::create_directory(Path("folder"));
    const std::vector<std::pair<const char*, DWORD>> sources = {
        {"pipe", platform::ERROR_ACCESS_DENIED},
        {"folder", platform::ERROR_ACCESS_DENIED},
        {"missing", platform::ERROR_FILE_NOT_FOUND},
    };
    for (const auto& [szSource, dwExpected] : sources) {
        SCOPED_TRACE(szSource);
        EXPECT_EQ(CopyFileNoReplace(Path(szSource), Path("quarantine/Q1.tmp"), m_copy), dwExpected);
        EXPECT_TRUE(FolderEntries(Path("quarantine")).empty());
    }
    EXPECT_NE(CopyFileNoReplace(Path("source"), Path("no-such-folder/Q1.tmp"), m_copy), platform::ERROR_SUCCESS);
}

TEST_F(FileOperations, ACopyThatFailsHalfWayLeavesNothingBehind)
{
    WriteFile(Path("Q1.tmp"), RandomBytes(1 << 20));
    std::filesystem::create_directory(Path("quarantine"));
    DWORD dwResult = platform::ERROR_SUCCESS;
    {
        const CFileSizeLimit limit(64 << 10);
        dwResult = CopyFileNoReplace(Path("Q1.tmp"), Path("quarantine/Q1.tmp"), m_copy);
    }
    EXPECT_NE(dwResult, platform::ERROR_SUCCESS);
    EXPECT_TRUE(FolderEntries(Path("quarantine")).empty());
}

TEST_F(FileOperations, ACopyIsRemovedOnlyWhileItsNameStandsForIt)
{
    WriteFile(Path("source"), "copied");
    std::filesystem::create_directory(Path("quarantine"));
    const struct
    {
        const char* szName;
        std::function<void()> takeTheName; // what another program does to the name meanwhile
        std::vector<std::string> left;
    } cases[] = {
        {"the copy", [] {}, {}},
        {"removed and made anew",
         [&] {
             std::filesystem::remove(Path("quarantine/Q1.tmp"));
             WriteFile(Path("quarantine/Q1.tmp"), "another run's");
         },
         {"Q1.tmp=another run's"}},
        {"replaced",
         [&] {
             WriteFile(Path("other"), "replacing");
             std::filesystem::rename(Path("other"), Path("quarantine/Q1.tmp"));
         },
         {"Q1.tmp=replacing"}},
        {"gone", [&] { std::filesystem::remove(Path("quarantine/Q1.tmp")); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        std::filesystem::remove(Path("quarantine/Q1.tmp"));
        ASSERT_EQ(CopyFileNoReplace(Path("source"), Path("quarantine/Q1.tmp"), m_copy), platform::ERROR_SUCCESS);
        c.takeTheName();
        DeleteCopy(Path("quarantine/Q1.tmp"), m_copy);
        EXPECT_EQ(FolderEntries(Path("quarantine")), c.left);
    }
}

TEST_F(FileOperations, ARenameReplacesAFileButNotAFolder)
{
    WriteFile(Path("Q1.tmp"), "damaged");
    WriteFile(Path("Q1.tmp.bad"), "earlier");
    EXPECT_TRUE(MoveFileReplacing(Path("Q1.tmp"), Path("Q1.tmp.bad")));
    EXPECT_EQ(FolderEntries(m_scratch.Path()), std::vector<std::string>{"Q1.tmp.bad=damaged"});

    WriteFile(Path("Q2.tmp"), "damaged");
    std::filesystem::create_directory(Path("Q2.tmp.bad"));
    EXPECT_FALSE(MoveFileReplacing(Path("Q2.tmp"), Path("Q2.tmp.bad")));
    EXPECT_EQ(testsupport::ReadFile(Path("Q2.tmp")), "damaged");
}

} // namespace
