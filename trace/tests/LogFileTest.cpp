// The opening of a log file at the name the registry gives: what is already there at that name,
// and what the file becomes.

#include "LogFile.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <functional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Append(const CAutoFileHandle& file, std::string_view bytes)
{
    ASSERT_EQ(::write(file.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

} // namespace

TEST(NamedLogFile, IsMadeWithItsFoldersAndReadableByItsOwnerOnly)
{
    const testsupport::ScratchFolder folder;
    const std::filesystem::path path = folder.Path() / "logs" / "keeplib-1-10-00-00-000.log";
    const CAutoFileHandle file = OpenNamedLogFile(path);
    ASSERT_TRUE(file);
    Append(file, "first line\r\n");
    struct stat info
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(testsupport::ReadFile(path), "first line\r\n");
}

TEST(NamedLogFile, AnExistingFileOfThisAccountKeepsItsLinesAndIsAppendedTo)
{
    // An earlier log at the same name (two logs of one process started in the same millisecond
    // with the same base name) keeps its lines; the new lines follow them, whatever is added
    // meanwhile.
    const testsupport::ScratchFolder folder;
    const std::filesystem::path path = folder.Write("shared-1-10-00-00-000.log", "earlier line\r\n");
    const CAutoFileHandle file = OpenNamedLogFile(path);
    ASSERT_TRUE(file);
    Append(file, "later line\r\n");
    {
        const CAutoFileHandle other = OpenNamedLogFile(path);
        ASSERT_TRUE(other);
        Append(other, "the other log's line\r\n");
    }
    Append(file, "last line\r\n");
    EXPECT_EQ(testsupport::ReadFile(path), "earlier line\r\nlater line\r\nthe other log's line\r\nlast line\r\n");
}

TEST(NamedLogFile, WhatOthersPlantAtTheNameIsNeitherOpenedNorChanged)
{
    // A pipe would hold the log for ever; a file of another account would receive every line, as
    // would a file reached through a link or by a second name.
    struct PlantCase
    {
        const char* szName;
        bool bRootOnly; // only root can plant a file that belongs to another account
        // Plants at the name in the folder, where a file named elsewhere is.
        std::function<void(const testsupport::ScratchFolder& folder, const std::filesystem::path& name,
                           const std::filesystem::path& elsewhere)>
            plant;
    };
    const PlantCase cases[] = {
        {"a pipe", false,
         [](const auto&, const auto& name, const auto&) { ASSERT_EQ(::mkfifo(name.c_str(), 0666), 0); }},
        {"a link to a file", false,
         [](const auto&, const auto& name, const auto& elsewhere) {
             std::filesystem::create_symlink(elsewhere, name);
         }},
        {"a second name of a file", false,
         [](const auto&, const auto& name, const auto& elsewhere) {
             std::filesystem::create_hard_link(elsewhere, name);
         }},
        {"a file of another account", true,
         [](const auto& folder, const auto& name, const auto&) {
             folder.Write(name.filename().string(), "");
             ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
         }},
    };
    for (const PlantCase& c : cases) {
        SCOPED_TRACE(c.szName);
        if (c.bRootOnly && ::geteuid() != 0)
            continue;
        const testsupport::ScratchFolder folder;
        const std::filesystem::path elsewhere = folder.Write("elsewhere", "");
        const std::filesystem::path name = folder.Path() / "keeplib-1-10-00-00-000.log";
        c.plant(folder, name, elsewhere);
        const auto planted = std::filesystem::symlink_status(name).type();
        EXPECT_FALSE(OpenNamedLogFile(name));
        EXPECT_EQ(std::filesystem::symlink_status(name).type(), planted);
        EXPECT_EQ(testsupport::ReadFile(elsewhere), "");
        if (planted == std::filesystem::file_type::regular) {
            EXPECT_EQ(std::filesystem::file_size(name), 0u);
        }
    }
}
