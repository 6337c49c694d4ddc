// The built library as a program loads it: its eleven operations by their plain names, and
// nothing of its insides.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <memory>

namespace {

struct LibraryCloser
{
    void operator()(void* pHandle) const { ::dlclose(pHandle); }
};

} // namespace

TEST(LibraryExports, ExportsElevenPlainNamesAndHidesItsOwnCode)
{
    const std::unique_ptr<void, LibraryCloser> library(::dlopen(KEEPLIB_PATH, RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(library) << ::dlerror();
    for (const char* szName :
         {"KeeplibSetup", "KeeplibBackup", "KeeplibRestore", "KeeplibDropDatabase", "KeeplibExistsDatabase",
          "KeeplibVersion", "KeeplibSQLServerCheck", "KeeplibSQLServerCheckSvrRole", "KeeplibBrowseSQLServers",
          "KeeplibGetLocalSqlServerType", "KeeplibValidateSQLServerName"})
        EXPECT_NE(::dlsym(library.get(), szName), nullptr) << szName;
    // A program's own trace log must not take the place of the library's.
    EXPECT_EQ(::dlsym(library.get(), "_Z8TraceLogv"), nullptr);
    EXPECT_EQ(::dlsym(library.get(), "_ZN8Keeplibs20ValidateDatabaseNameEPKw"), nullptr);
}
