// On the domain controllers: realmscan lists what each one's directory holds (a forest trust both
// ways, an external trust seen from either side), and on ALPHA's controller a browse keeps the
// servers of the domain asked for and names are told apart, as on a member.

#include "DirectoryListing.h"
#include "DomainTest.h"

namespace domainlab {

using ControllerTest = DomainTest;

TEST_F(ControllerTest, EachListsWhatItsDirectoryHolds)
{
    for (const Host* pController : {&kAlphaDc, &kBetaDc, &kGammaDc}) {
        SCOPED_TRACE(pController->strName);
        const auto result = Realmscan(*pController);
        EXPECT_EQ(ListedTrustBlocks(result.strStdout), ExpectedTrustBlocks(*pController));
        EXPECT_EQ(result.strStderr, "");
        EXPECT_EQ(result.iExitStatus, 0);
    }
}

TEST_F(ControllerTest, BrowseKeepsTheDomainAskedAndValidationTellsNamesApart)
{
    TicketOfTheComputer(kAlphaDc);
    // The member's instance is a remote server here, and of this domain.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"BROWSESQLSERVERS", "-t", "1"}, "[remote servers]\nAMEMBER\\LOCAL\n"},
        {{"BROWSESQLSERVERS", "-t", "1", "-d", "BETA"},
         "[remote servers]\nBETADC\nBMEMBER\\SHORT\nbmember.beta.test\\FULL\n"},
    };
    for (const auto& [arguments, strListing] : cases) {
        SCOPED_TRACE(arguments.back());
        const auto result = Keepctl(kAlphaDc, arguments);
        EXPECT_EQ(result.strStdout, strListing);
        EXPECT_EQ(result.strStderr, "");
        EXPECT_EQ(result.iExitStatus, 0);
    }
    ExpectValidationTellsThisComputerFromOthers(kAlphaDc, kAlphaMember);
}

} // namespace domainlab
