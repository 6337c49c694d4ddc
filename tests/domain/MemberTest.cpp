// On a member server of ALPHA, in each setting a member meets: winbind listing the trusted domains
// or not, NetBIOS enabled or disabled with Samba's caches empty. realmscan lists what the domain's
// directory holds, a browse keeps the servers of the domain asked for, and names are told apart,
// each run with a terminal on its standard input and nothing of Samba's in its output.

#include "DirectoryListing.h"
#include "DomainTest.h"

namespace domainlab {
namespace {

struct MemberSetting
{
    const char* szName;
    std::vector<std::string> words; // of domainlab.sh member-conf
};

const MemberSetting kSettings[] = {
    {"WinbindListsNoTrustedDomain", {"noscan", "netbios"}},
    {"WinbindListsTheTrustedDomains", {"scan", "netbios"}},
    {"NetbiosDisabledAndCachesEmpty", {"noscan", "nonetbios", "flush"}},
};

class MemberTest : public DomainTest, public ::testing::WithParamInterface<MemberSetting>
{
protected:
    void SetUp() override
    {
        DomainTest::SetUp();
        if (IsSkipped())
            return;
        std::vector<std::string> arguments{"member-conf", kAlphaMember.strName};
        arguments.insert(arguments.end(), GetParam().words.begin(), GetParam().words.end());
        Harness(arguments);
        TicketOfTheComputer(kAlphaMember);
    }

    // The lab as it was built, for the tests after these.
    static void TearDownTestSuite()
    {
        if (WhyNoLab().empty())
            Harness({"member-conf", kAlphaMember.strName});
    }
};

void ExpectRealmscanListsTheDirectory()
{
    const auto result = Realmscan(kAlphaMember);
    EXPECT_EQ(ListedTrustBlocks(result.strStdout), ExpectedTrustBlocks(kAlphaDc));
    EXPECT_EQ(result.strStderr, "");
    EXPECT_EQ(result.iExitStatus, 0);
}

void ExpectBrowseKeepsTheDomainAsked()
{
    // By default this computer's own domain; a server of another forest is kept when that
    // domain is asked for, whether it was listed by its short name or its DNS name.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"BROWSESQLSERVERS", "-t", "1"}, "[remote servers]\nALPHADC\\SALES\n"},
        {{"BROWSESQLSERVERS", "-t", "1", "-d", "BETA"},
         "[remote servers]\nBETADC\nBMEMBER\\SHORT\nbmember.beta.test\\FULL\n"},
        {{"BROWSESQLSERVERS", "-t", "1", "-d", "GAMMA"}, "[remote servers]\nGAMMADC\n"},
    };
    for (const auto& [arguments, strListing] : cases) {
        SCOPED_TRACE(arguments.back());
        const auto result = Keepctl(kAlphaMember, arguments);
        EXPECT_EQ(result.strStdout, strListing);
        EXPECT_EQ(result.strStderr, "");
        EXPECT_EQ(result.iExitStatus, 0);
    }
}

} // namespace

TEST_P(MemberTest, AnswersAsTheDomainSays)
{
    {
        SCOPED_TRACE("realmscan");
        ExpectRealmscanListsTheDirectory();
    }
    {
        SCOPED_TRACE("BROWSESQLSERVERS");
        ExpectBrowseKeepsTheDomainAsked();
    }
    {
        SCOPED_TRACE("VALIDATESQLSERVERNAME");
        ExpectValidationTellsThisComputerFromOthers(kAlphaMember, kAlphaDc);
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, MemberTest, ::testing::ValuesIn(kSettings),
                         [](const ::testing::TestParamInfo<MemberSetting>& setting) { return setting.param.szName; });

} // namespace domainlab
