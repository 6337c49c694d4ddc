// On the member server, what it is asked with: no Kerberos ticket at all, the caller's own ticket
// instead of the computer's keys, winbind stopped; and what its trace says of the answers.

#include "DirectoryListing.h"
#include "DomainTest.h"

#include <filesystem>

namespace domainlab {

using MemberCredentialsTest = DomainTest;

TEST_F(MemberCredentialsTest, WithoutATicketNoServerIsKeptAndNothingAsksForOne)
{
    // libnetapi once asked for a password on the terminal here, and waited.
    const auto result = Keepctl(kAlphaMember, {"BROWSESQLSERVERS", "-t", "1"}, {{"KRB5CCNAME", "FILE:/tmp/none"}});
    EXPECT_EQ(result.strStdout, "[remote servers]\n");
    EXPECT_EQ(result.strStderr, "");
    EXPECT_EQ(result.iExitStatus, 0);
}

TEST_F(MemberCredentialsTest, RealmscanReadsTheDirectoryWithTheCallersTicketToo)
{
    // An account that may not read the computer's keys, with a ticket of its own.
    Shell(kAlphaMember, "kinit -k -c FILE:/tmp/caller.ccache 'AMEMBER$' && chown nobody /tmp/caller.ccache");
    const auto result = RunInHost(kAlphaMember, {"runuser", "-u", "nobody", "--", REALMSCAN_PATH},
                                  {{"KRB5CCNAME", "FILE:/tmp/caller.ccache"}});
    EXPECT_EQ(ListedTrustBlocks(result.strStdout), ExpectedTrustBlocks(kAlphaDc));
    EXPECT_EQ(result.strStderr, "");
    EXPECT_EQ(result.iExitStatus, 0);
    Shell(kAlphaMember, "rm /tmp/caller.ccache");
}

TEST_F(MemberCredentialsTest, TheTraceSaysWhatAnsweredWhatSambaPrintedAndWhyAServerIsLeftOut)
{
    TicketOfTheComputer(kAlphaMember);
    const testsupport::ScratchFolder folder;
    const auto registry = folder.Write("trace.reg", "Windows Registry Editor Version 5.00\n\n"
                                                    "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\n"
                                                    "\"TraceFileName\"=\"" +
                                                        (folder.Path() / "keeplib").string() +
                                                        "\"\n\"OutputToDebugger\"=dword:00000000\n");
    const auto result =
        Keepctl(kAlphaMember, {"BROWSESQLSERVERS", "-t", "1"}, {{"VESTREL_REGISTRY_FILE", registry.string()}});
    EXPECT_EQ(result.strStdout, "[remote servers]\nALPHADC\\SALES\n");
    std::string strTrace;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        if (entry.path().filename().string().starts_with("keeplib-"))
            strTrace += testsupport::ReadFile(entry.path());
    }
    for (const char* szLine : {
             "INF: The domain controller of ALPHA is looked up by the domain's DNS name alpha.test",
             "INF: Trusts from the directory of alphadc.alpha.test over LDAP, as AMEMBER$@ALPHA.TEST",
             "INF: libnetapi printed: session setup failed: NT_STATUS_INVALID_PARAMETER",
             "INF: BMEMBER did not answer by its short name, asking BMEMBER.alpha.test",
             "ERR: Leaving out BMEMBER\\SHORT: its computer could not be asked which domain it belongs to",
         })
        EXPECT_NE(strTrace.find(szLine), std::string::npos) << szLine << "\n" << strTrace;
}

TEST_F(MemberCredentialsTest, WithWinbindStoppedNoControllerCanBeReachedAndNoServerOfAnyDomainIsKept)
{
    Harness({"daemons", kAlphaMember.strName, "stop"});
    TicketOfTheComputer(kAlphaMember);
    const auto listing = Realmscan(kAlphaMember);
    EXPECT_EQ(listing.strStdout, "Starting...\n");
    EXPECT_EQ(listing.strStderr, "ERROR_NO_LOGON_SERVERS\nError: 0x80004005\n");
    EXPECT_EQ(listing.iExitStatus, 1);
    // The domain filter cannot be applied, so the browse fails rather than keep every server.
    const auto browse = Keepctl(kAlphaMember, {"BROWSESQLSERVERS", "-t", "1"});
    EXPECT_EQ(browse.strStdout, "Failed with code 0x80004005.\n");
    EXPECT_EQ(browse.strStderr, "");
    EXPECT_EQ(browse.iExitStatus, 5);
    // This computer is still named as its host is.
    ExpectValidationTellsThisComputerFromOthers(kAlphaMember, kAlphaDc, DnsNames::Unknown);
    Harness({"daemons", kAlphaMember.strName, "start"});
}

} // namespace domainlab
