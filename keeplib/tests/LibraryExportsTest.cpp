// The built library as a program loads it: its eleven operations by their plain names, and
// nothing else: neither its own code nor the C++ library's templates it instantiated.

#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <sstream>

namespace {

struct LibraryCloser
{
    void operator()(void* pHandle) const { ::dlclose(pHandle); }
};

const std::vector<std::string> kExports = {
    "KeeplibBackup",
    "KeeplibBrowseSQLServers",
    "KeeplibDropDatabase",
    "KeeplibExistsDatabase",
    "KeeplibGetLocalSqlServerType",
    "KeeplibRestore",
    "KeeplibSQLServerCheck",
    "KeeplibSQLServerCheckSvrRole",
    "KeeplibSetup",
    "KeeplibValidateSQLServerName",
    "KeeplibVersion",
};

// The names of the symbols the library defines in its dynamic symbol table, sorted.
std::vector<std::string> DefinedDynamicSymbols(const std::string& strLibrary)
{
    const testsupport::ProgramResult result =
        testsupport::RunProgram("/usr/bin/nm", {"--dynamic", "--defined-only", "--format=just-symbols", strLibrary});
    EXPECT_EQ(result.iExitStatus, 0) << result.strStderr;
    std::vector<std::string> names;
    std::istringstream lines(result.strStdout);
    for (std::string strName; std::getline(lines, strName);)
        names.push_back(strName);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(LibraryExports, ExportsItsElevenOperationsAndNothingElse)
{
    EXPECT_EQ(DefinedDynamicSymbols(KEEPLIB_PATH), kExports);
}

TEST(LibraryExports, AProgramFindsEachOperationByItsPlainName)
{
    // The library opens its trace log as it loads, in the temporary folder: the test's, not the
    // machine's.
    const testsupport::ScratchFolder scratch;
    ::setenv("TMPDIR", scratch.Path().c_str(), 1);
    const std::unique_ptr<void, LibraryCloser> library(::dlopen(KEEPLIB_PATH, RTLD_NOW | RTLD_LOCAL));
    ::unsetenv("TMPDIR");
    ASSERT_TRUE(library) << ::dlerror();
    for (const std::string& strName : kExports)
        EXPECT_NE(::dlsym(library.get(), strName.c_str()), nullptr) << strName;
}
