// The trusts a domain's directory holds, as the searches of its controller found them, in the
// form of the Windows answer: the lab's forests, a forest with a child domain and a second tree,
// the flags asked for, and directories that are not what they should be.

#include "DirectoryTrusts.h"
#include "DirectoryError.h"

#include "common/StringUtils.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform::netapi;

namespace {

DirectoryEntry Entry(std::string strDn, std::map<std::string, std::vector<std::string>> attributes)
{
    return {std::move(strDn), std::move(attributes)};
}

DirectoryEntry CrossReference(const std::string& strNetbios, const std::string& strDns,
                              const std::string& strParent = "")
{
    std::string strContext = "DC=" + strDns;
    for (std::size_t dot; (dot = strContext.find('.')) != std::string::npos;)
        strContext.replace(dot, 1, ",DC=");
    std::map<std::string, std::vector<std::string>> attributes{
        {"nETBIOSName", {strNetbios}}, {"dnsRoot", {strDns}}, {"nCName", {strContext}}};
    if (!strParent.empty())
        attributes["trustParent"] = {strParent};
    return Entry("CN=" + strNetbios + ",CN=Partitions,CN=Configuration,DC=corp,DC=example", attributes);
}

DirectoryEntry TrustedDomain(const std::string& strFlat, const std::string& strPartner, const std::string& strDirection,
                             const std::string& strType, const std::string& strAttributes)
{
    return Entry("CN=" + strPartner + ",CN=System,DC=corp,DC=example", {{"flatName", {strFlat}},
                                                                        {"trustPartner", {strPartner}},
                                                                        {"trustDirection", {strDirection}},
                                                                        {"trustType", {strType}},
                                                                        {"trustAttributes", {strAttributes}}});
}

DomainDirectory Directory(std::vector<DirectoryEntry> forest, std::vector<DirectoryEntry> trusted,
                          const char* szMixedDomain = "0")
{
    return {"DC=corp,DC=example",
            std::move(forest),
            {Entry("DC=corp,DC=example", {{"nTMixedDomain", {szMixedDomain}}})},
            std::move(trusted)};
}

// One trust as a line: "NETBIOS dns flags parent type attributes", the flags in hexadecimal.
std::vector<std::string> Lines(const std::vector<DS_DOMAIN_TRUSTSW>& trusts)
{
    std::vector<std::string> lines;
    for (const DS_DOMAIN_TRUSTSW& trust : trusts)
        lines.push_back(FormatA("%s %s 0x%02X %u %u %u", WideToNarrow(trust.NetbiosDomainName.value_or(L"-")).c_str(),
                                WideToNarrow(trust.DnsDomainName.value_or(L"-")).c_str(), trust.Flags,
                                trust.ParentIndex, trust.TrustType, trust.TrustAttributes));
    return lines;
}

const std::string kForestRoot = "CN=CORP,CN=Partitions,CN=Configuration,DC=corp,DC=example";

} // namespace

TEST(DirectoryTrusts, AForestTrustBothWaysAndAnExternalTrustInwardsAreAsStored)
{
    // ALPHA's directory in the domain tests, whatever order the searches return.
    std::vector<DirectoryEntry> trusted{TrustedDomain("BETA", "beta.example", "3", "2", "8"),
                                        TrustedDomain("GAMMA", "gamma.example", "1", "2", "4")};
    for (int iOrder = 0; iOrder < 2; ++iOrder) {
        const auto trusts =
            TrustsFromDirectory(Directory({CrossReference("CORP", "corp.example")}, trusted), DS_DOMAIN_VALID_FLAGS);
        EXPECT_EQ(Lines(trusts),
                  (std::vector<std::string>{"CORP corp.example 0x1D 0 2 0", "BETA beta.example 0x22 0 2 8",
                                            "GAMMA gamma.example 0x20 0 2 4"}));
        std::reverse(trusted.begin(), trusted.end());
    }
}

TEST(DirectoryTrusts, TheOtherSideSeesTheExternalTrustOutwards)
{
    const auto trusts = TrustsFromDirectory(
        Directory({CrossReference("CORP", "corp.example")}, {TrustedDomain("ALPHA", "alpha.example", "2", "2", "4")}),
        DS_DOMAIN_VALID_FLAGS);
    EXPECT_EQ(Lines(trusts),
              (std::vector<std::string>{"CORP corp.example 0x1D 0 2 0", "ALPHA alpha.example 0x02 0 2 4"}));
}

TEST(DirectoryTrusts, AForestsDomainsComeFirstWithTheirParentsPosition)
{
    // A child domain of the root and a second tree, each with its trust inside the forest, and an
    // external partner; the directory returns them in no particular order.
    const DomainDirectory directory =
        Directory({CrossReference("TREE", "tree.example"), CrossReference("EMEA", "emea.corp.example", kForestRoot),
                   CrossReference("SALES", "sales.emea.corp.example",
                                  "CN=EMEA,CN=Partitions,CN=Configuration,DC=corp,DC=example"),
                   CrossReference("CORP", "corp.example")},
                  {TrustedDomain("PARTNER", "partner.example", "2", "2", "0"),
                   TrustedDomain("TREE", "tree.example", "3", "2", "32"),
                   TrustedDomain("EMEA", "emea.corp.example", "3", "2", "32")});
    EXPECT_EQ(Lines(TrustsFromDirectory(directory, DS_DOMAIN_VALID_FLAGS)),
              (std::vector<std::string>{"CORP corp.example 0x1D 0 2 0", "EMEA emea.corp.example 0x23 0 2 32",
                                        "SALES sales.emea.corp.example 0x01 1 2 0", "TREE tree.example 0x27 0 2 32",
                                        "PARTNER partner.example 0x02 0 2 0"}));
    // Asked for some flags only: the positions are those of the answer, a parent left out is 0.
    EXPECT_EQ(Lines(TrustsFromDirectory(directory, DS_DOMAIN_DIRECT_OUTBOUND)),
              (std::vector<std::string>{"EMEA emea.corp.example 0x23 0 2 32", "TREE tree.example 0x27 0 2 32",
                                        "PARTNER partner.example 0x02 0 2 0"}));
    EXPECT_EQ(Lines(TrustsFromDirectory(directory, DS_DOMAIN_PRIMARY | DS_DOMAIN_IN_FOREST)),
              (std::vector<std::string>{"CORP corp.example 0x1D 0 2 0", "EMEA emea.corp.example 0x23 0 2 32",
                                        "SALES sales.emea.corp.example 0x01 1 2 0", "TREE tree.example 0x27 0 2 32"}));
}

TEST(DirectoryTrusts, ADomainInMixedModeIsNotNative)
{
    const auto trusts = TrustsFromDirectory(Directory({CrossReference("CORP", "corp.example")}, {}, "1"), 0x3F);
    EXPECT_EQ(Lines(trusts), std::vector<std::string>{"CORP corp.example 0x0D 0 2 0"});
}

TEST(DirectoryTrusts, ValuesAreTakenAsTheDirectoryStoresThem)
{
    // A downlevel partner without a DNS name, attributes with the high bit set (stored as a
    // negative number), and numbers that are none: a trust without a direction has none of the
    // flags asked for.
    const auto trusts = TrustsFromDirectory(
        Directory({CrossReference("CORP", "corp.example")}, {Entry("CN=NT4", {{"flatName", {"NT4"}},
                                                                              {"trustDirection", {"3"}},
                                                                              {"trustType", {"1"}},
                                                                              {"trustAttributes", {"-2147483648"}}}),
                                                             TrustedDomain("ODD", "odd.example", "2", "", "12abc"),
                                                             TrustedDomain("NOWAY", "noway.example", "x", "2", "0")}),
        DS_DOMAIN_VALID_FLAGS);
    EXPECT_EQ(Lines(trusts), (std::vector<std::string>{"CORP corp.example 0x1D 0 2 0", "NT4 - 0x22 0 1 2147483648",
                                                       "ODD odd.example 0x02 0 0 0"}));
}

TEST(DirectoryTrusts, ADirectoryThatDoesNotDescribeItsOwnDomainIsNoAnswer)
{
    DomainDirectory directory = Directory({CrossReference("OTHER", "other.example")}, {});
    EXPECT_THROW(TrustsFromDirectory(directory, DS_DOMAIN_VALID_FLAGS), CDirectoryError);
    directory.forestDomains.clear();
    EXPECT_THROW(TrustsFromDirectory(directory, DS_DOMAIN_VALID_FLAGS), CDirectoryError);
}
