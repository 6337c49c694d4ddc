#include "platform/TempFile.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

TEST(TempFile, CreatesNewEmptyPrivateFilesNamedByPrefixAndHexDigits)
{
    testsupport::ScratchFolder folder;
    std::set<std::filesystem::path> names;
    for (int i = 0; i < 20; ++i) {
        std::filesystem::path path;
        ASSERT_EQ(GetTempFileName(folder.Path(), L"ICDX", path), ERROR_SUCCESS);
        EXPECT_EQ(path.parent_path(), folder.Path());
        EXPECT_TRUE(std::regex_match(path.filename().string(), std::regex("ICD[0-9A-F]{1,4}\\.tmp")))
            << path.filename();
        struct stat info
        {
        };
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(info.st_size, 0);
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 20u);
}

TEST(TempFile, TheDescriptorThatCreatedTheFileWritesIt)
{
    testsupport::ScratchFolder folder;
    std::filesystem::path path;
    CAutoFileHandle file;
    ASSERT_EQ(CreateTempFile(folder.Path(), L"EXT", path, file), ERROR_SUCCESS);
    ASSERT_TRUE(file);
    // Whatever now stands at the name, the item goes to the file that was made.
    const std::filesystem::path moved = folder.Path() / "moved";
    std::filesystem::rename(path, moved);
    folder.Write(path.filename().string(), "someone else's");
    ASSERT_EQ(::write(file.Get(), "item", 4), 4);
    EXPECT_EQ(testsupport::ReadFile(moved), "item");
    EXPECT_EQ(testsupport::ReadFile(path), "someone else's");
}

namespace {

unsigned NumberOf(const std::filesystem::path& path)
{
    const std::string strName = path.filename().string();
    return static_cast<unsigned>(std::stoul(strName.substr(3, strName.size() - 7), nullptr, 16));
}

} // namespace

TEST(TempFile, EachNameFollowsTheLastOneTried)
{
    testsupport::ScratchFolder folder;
    std::filesystem::path first;
    std::filesystem::path second;
    ASSERT_EQ(GetTempFileName(folder.Path(), L"EXT", first), ERROR_SUCCESS);
    // A name taken meanwhile is passed over.
    const unsigned uTaken = NumberOf(first) % 0xFFFF + 1;
    folder.Write("EXT" + FormatA("%X", uTaken) + ".tmp", "");
    ASSERT_EQ(GetTempFileName(folder.Path(), L"EXT", second), ERROR_SUCCESS);
    EXPECT_EQ(NumberOf(second), uTaken % 0xFFFF + 1) << first << " " << second;
}

TEST(TempFile, ANameGivenBackIsGivenOutAgainFirst)
{
    // In a folder with one free name, each output that fails gives it back: the next must not
    // walk the whole circle of taken names to find it again.
    testsupport::ScratchFolder folder;
    std::filesystem::path first;
    std::filesystem::path again;
    ASSERT_EQ(GetTempFileName(folder.Path(), L"EXT", first), ERROR_SUCCESS);
    std::filesystem::remove(first);
    ASSERT_EQ(GetTempFileName(folder.Path(), L"EXT", again), ERROR_SUCCESS);
    EXPECT_EQ(again, first);
}

TEST(TempFile, AFullFolderFailsUntilANameIsFreed)
{
    testsupport::ScratchFolder folder;
    for (unsigned u = 1; u <= 0xFFFF; ++u)
        CAutoFileHandle(::open((folder.Path() / FormatA("EXT%X.tmp", u)).c_str(), O_WRONLY | O_CREAT, 0600));
    std::filesystem::path path;
    EXPECT_EQ(GetTempFileName(folder.Path(), L"EXT", path), ERROR_FILE_EXISTS);
    EXPECT_EQ(GetTempFileName(folder.Path(), L"EXT", path), ERROR_FILE_EXISTS);
    // Another prefix has names of its own.
    EXPECT_EQ(GetTempFileName(folder.Path(), L"ICD", path), ERROR_SUCCESS);
    std::filesystem::remove(folder.Path() / "EXT1234.tmp");
    ASSERT_EQ(GetTempFileName(folder.Path(), L"EXT", path), ERROR_SUCCESS);
    EXPECT_EQ(path.filename(), "EXT1234.tmp");
}

TEST(TempFile, MissingFolderIsAnError)
{
    testsupport::ScratchFolder folder;
    std::filesystem::path path;
    EXPECT_EQ(GetTempFileName(folder.Path() / "absent", L"EXT", path), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(path.empty());
}

TEST(TempFile, TempPathFollowsTmpdir)
{
    ::setenv("TMPDIR", "/var/tmp/x", 1);
    EXPECT_EQ(GetTempPath(), "/var/tmp/x");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(GetTempPath(), "/tmp");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(GetTempPath(), "/tmp");
}
