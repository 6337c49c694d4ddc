// The search for quarantine files: which names match, what a search returns, and how it ends.

#include "QuarantineSearch.h"
#include "TestFolders.h"
#include "platform/Win32Error.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <set>

using namespace Vaultfeed;
using namespace VaultfeedTests;

namespace {

TEST(QuarantineSearch, MatchesQStarTmpWithoutRegardToCase)
{
    for (const char* szName : {"Q1.tmp", "q1.TMP", "Q.tmp", "Qa.b.Tmp", "Q .tmp"})
        EXPECT_TRUE(IsQuarantineFileName(szName)) << szName;
    for (const char* szName : {"", ".tmp", "Q", "Qtmp", "Q1.tmpx", "xQ1.tmp", "Q1.tm", "Q1.temp", "Q1_tmp"})
        EXPECT_FALSE(IsQuarantineFileName(szName)) << szName;
}

TEST(QuarantineSearch, ReturnsEachMatchingEntryOnceAndEndsAsTheWindowsSearchDoes)
{
    const testsupport::ScratchFolder folder;
    CQuarantineSearch search;
    SearchEntry entry;
    EXPECT_EQ(search.FindFirst((folder.Path() / "missing").string(), entry), platform::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(search.FindFirst(folder.Path().string(), entry), platform::ERROR_FILE_NOT_FOUND);

    WriteFile(folder.Path() / "Q1.tmp", "");
    WriteFile(folder.Path() / "notes.txt", "");
    std::filesystem::create_directory(folder.Path() / "Q2.TMP");
    std::filesystem::create_directory_symlink(folder.Path() / "Q2.TMP", folder.Path() / "Q3.tmp");
    std::filesystem::create_symlink(folder.Path() / "missing", folder.Path() / "Q4.tmp");
    std::set<std::string> found;
    DWORD dwResult = search.FindFirst(folder.Path().string(), entry);
    for (; dwResult == platform::ERROR_SUCCESS; dwResult = search.FindNext(entry))
        EXPECT_TRUE(found.insert(entry.strName + (entry.bIsFolder ? "/" : "")).second) << entry.strName;
    EXPECT_EQ(dwResult, platform::ERROR_NO_MORE_FILES);
    EXPECT_EQ(found, (std::set<std::string>{"Q1.tmp", "Q2.TMP/", "Q3.tmp/", "Q4.tmp"}));
    EXPECT_EQ(CountQuarantineEntries(folder.Path().string()), 4u);
}

} // namespace
