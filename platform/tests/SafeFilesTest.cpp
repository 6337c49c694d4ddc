#include "platform/SafeFiles.h"

#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

// The errno of a failed open, or 0 when it opened.
int OpenError(const std::filesystem::path& path, LinkPolicy links)
{
    errno = 0;
    return OpenRegularFile(AT_FDCWD, path.c_str(), O_RDONLY, links) ? 0 : errno;
}

} // namespace

TEST(SafeFiles, OpensRegularFilesAndNothingElse)
{
    const testsupport::ScratchFolder folder;
    const auto file = folder.Write("file", "content");
    std::filesystem::create_symlink(file, folder.Path() / "link-to-file");
    std::filesystem::create_symlink("/dev/null", folder.Path() / "link-to-device");
    ASSERT_EQ(::mkfifo((folder.Path() / "pipe").c_str(), 0600), 0);
    std::filesystem::create_directory(folder.Path() / "folder");
    struct OpenCase
    {
        const char* szName;
        int iRefusingLinks;
        int iFollowingLinks;
    };
    // A pipe without a writer would block a reader that waited for one.
    const OpenCase cases[] = {
        {"file", 0, 0},           {"link-to-file", ELOOP, 0}, {"link-to-device", ELOOP, EACCES},
        {"pipe", EACCES, EACCES}, {"folder", EACCES, EACCES}, {"missing", ENOENT, ENOENT},
    };
    for (const OpenCase& c : cases) {
        EXPECT_EQ(OpenError(folder.Path() / c.szName, LinkPolicy::Refuse), c.iRefusingLinks) << c.szName;
        EXPECT_EQ(OpenError(folder.Path() / c.szName, LinkPolicy::Follow), c.iFollowingLinks) << c.szName;
    }
    EXPECT_EQ(OpenError("/dev/zero", LinkPolicy::Follow), EACCES);
}

TEST(SafeFiles, CreatesAFileWhereNoneStands)
{
    const testsupport::ScratchFolder folder;
    const CAutoFileHandle file =
        OpenRegularFile(AT_FDCWD, (folder.Path() / "new").c_str(), O_WRONLY | O_CREAT, LinkPolicy::Refuse, 0600);
    ASSERT_TRUE(file);
    ASSERT_EQ(::write(file.Get(), "x", 1), 1);
    EXPECT_EQ(testsupport::ReadFile(folder.Path() / "new"), "x");
}

TEST(SafeFiles, MakesMissingFoldersButNeverThroughALink)
{
    const testsupport::ScratchFolder folder;
    const testsupport::ScratchFolder elsewhere;
    {
        const CAutoFileHandle made = OpenFolderMakingMissing(folder.Path() / "a" / "b" / "c");
        ASSERT_TRUE(made);
        const CAutoFileHandle file(::openat(made.Get(), "inside", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        EXPECT_TRUE(file);
        EXPECT_TRUE(std::filesystem::is_regular_file(folder.Path() / "a" / "b" / "c" / "inside"));
    }
    std::filesystem::create_directory_symlink(elsewhere.Path(), folder.Path() / "link");
    folder.Write("file", "");
    struct RefusedCase
    {
        std::filesystem::path folder;
        int iErrno;
    };
    // A link is no folder here.
    const RefusedCase cases[] = {
        {folder.Path() / "link", ENOTDIR},
        {folder.Path() / "link" / "sub", ENOTDIR},
        {folder.Path() / "file" / "sub", ENOTDIR},
    };
    for (const RefusedCase& c : cases) {
        errno = 0;
        EXPECT_FALSE(OpenFolderMakingMissing(c.folder)) << c.folder;
        EXPECT_EQ(errno, c.iErrno) << c.folder;
    }
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.Path()));
}
