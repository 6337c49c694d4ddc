// realmscan as it runs on this machine, which is joined to no domain and runs no winbind: with
// Samba's client libraries, with libraries that cannot be loaded in their place, and with a winbind
// client library that gives broken and hostile answers; and on a node of a cluster, which changes
// nothing.

#include "testsupport/CibFiles.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

namespace {

// The machine's own libraries, or none: a folder of files by their names that are no libraries
// comes first in the search and makes every load of them fail.
testsupport::ProgramResult RunRealmscan(bool bSambaLibraries, std::map<std::string, std::string> environment = {})
{
    const testsupport::ScratchFolder folder;
    folder.Write("libwbclient.so.0", "not a library");
    folder.Write("libnetapi.so.1", "not a library");
    environment.emplace("LD_LIBRARY_PATH", bSambaLibraries ? "" : folder.Path().string());
    return testsupport::RunProgram(REALMSCAN_PATH, {"ignored", "arguments"}, environment);
}

} // namespace

TEST(Realmscan, OutsideADomainItSaysSoAndFails)
{
    for (const bool bSambaLibraries : {true, false}) {
        SCOPED_TRACE(bSambaLibraries ? "with Samba" : "without Samba");
        const auto result = RunRealmscan(bSambaLibraries);
        EXPECT_EQ(result.strStdout, "Starting...\n");
        EXPECT_EQ(result.strStderr, "ERROR_NO_TRUST_LSA_SECRET\nError: 0x80004005\n");
        EXPECT_EQ(result.iExitStatus, 1);
    }
}

TEST(Realmscan, AListOfTrustsThatIsNotThereFailsTheRun)
{
    // winbind's list answers (no domain controller can be found to read the directory of), with a
    // count of trusts but no list: no listing, and no success.
    const auto result = testsupport::RunProgram(
        REALMSCAN_PATH, {}, {{"LD_LIBRARY_PATH", FAKE_WINBIND_FOLDER}, {"VESTREL_FAKE_WINBIND", "count-without-list"}});
    EXPECT_EQ(result.strStdout, "Starting...\n");
    EXPECT_EQ(result.strStderr, "Error: 0x80004005\n");
    EXPECT_EQ(result.iExitStatus, 1);
}

TEST(Realmscan, NamesThatCarryTerminalCommandsArePrintedEscaped)
{
    const auto result = testsupport::RunProgram(
        REALMSCAN_PATH, {}, {{"LD_LIBRARY_PATH", FAKE_WINBIND_FOLDER}, {"VESTREL_FAKE_WINBIND", "hostile-names"}});
    EXPECT_EQ(result.strStdout, "Starting...\n"
                                "Index: 0\n"
                                "Net BIOS domain name: CORP\\x1b]0;owned\\x07\n"
                                "DNS domain name: corp.example\\x0d\\x0aIndex: 9\\x1b[2J\n"
                                "Flags: DS_DOMAIN_IN_FOREST DS_DOMAIN_PRIMARY DS_DOMAIN_NATIVE_MODE \n"
                                "ParentIndex: 0\n"
                                "Trust type: TRUST_TYPE_UPLEVEL\n"
                                "Trust attributes: Unknown (0)\n"
                                "-----\n"
                                "...done.\n");
    EXPECT_EQ(result.strStderr, "");
    EXPECT_EQ(result.iExitStatus, 0);
}

TEST(Realmscan, OnAClusterNodeItListsTheSame)
{
    const testsupport::ScratchFolder folder;
    const auto cib = folder.Write(
        "cib.xml",
        testsupport::CibDocument({"vcluster", {"node1"}, testsupport::CibPrimitive("SQLFCI1", "ocf:mssql:fci")}));
    ASSERT_EQ(testsupport::CrmVerify(cib), "");
    const auto result = RunRealmscan(true, testsupport::CibEnvironment(cib, "node1"));
    EXPECT_EQ(result.strStdout, "Starting...\n");
    EXPECT_EQ(result.strStderr, "ERROR_NO_TRUST_LSA_SECRET\nError: 0x80004005\n");
    EXPECT_EQ(result.iExitStatus, 1);
}
