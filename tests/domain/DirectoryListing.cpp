#include "DirectoryListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace domainlab {
namespace {

using LdifEntry = std::map<std::string, std::string>;

// The entries of ldbsearch's LDIF: "name: value" lines, a blank line after each entry.
std::vector<LdifEntry> Entries(const std::string& strLdif)
{
    std::vector<LdifEntry> entries(1);
    std::istringstream lines(strLdif);
    for (std::string strLine; std::getline(lines, strLine);) {
        if (strLine.empty()) {
            if (!entries.back().empty())
                entries.emplace_back();
            continue;
        }
        if (strLine.starts_with('#'))
            continue;
        const auto colon = strLine.find(": ");
        if (colon != std::string::npos)
            entries.back()[strLine.substr(0, colon)] = strLine.substr(colon + 2);
    }
    if (entries.back().empty())
        entries.pop_back();
    return entries;
}

std::vector<LdifEntry> Search(const Host& controller, const std::string& strBase, const std::string& strArguments)
{
    return Entries(
        Shell(controller, "ldbsearch -H /var/lib/samba/private/sam.ldb -b '" + strBase + "' " + strArguments));
}

std::string NamingContext(const std::string& strDnsDomain)
{
    std::string strContext = "DC=" + strDnsDomain;
    for (std::size_t dot; (dot = strContext.find('.')) != std::string::npos;)
        strContext.replace(dot, 1, ",DC=");
    return strContext;
}

// The texts of the listing, as the Windows call's values are named.
std::string AttributesText(unsigned long ulAttributes)
{
    const std::map<unsigned long, std::string> names{{1, "TRUST_ATTRIBUTE_NON_TRANSITIVE"},
                                                     {2, "TRUST_ATTRIBUTE_UPLEVEL_ONLY"},
                                                     {8, "TRUST_ATTRIBUTE_FOREST_TRANSITIVE"},
                                                     {16, "TRUST_ATTRIBUTE_CROSS_ORGANIZATION"},
                                                     {32, "TRUST_ATTRIBUTE_WITHIN_FOREST"}};
    const auto name = names.find(ulAttributes);
    return name != names.end() ? name->second : "Unknown (" + std::to_string(ulAttributes) + ")";
}

std::string TypeText(unsigned long ulType)
{
    if (ulType == 1)
        return "TRUST_TYPE_DOWNLEVEL";
    if (ulType == 2)
        return "TRUST_TYPE_UPLEVEL";
    ADD_FAILURE() << "the lab holds a trust of type " << ulType << ", which these tests do not expect";
    return {};
}

std::string Block(const std::string& strNetbios, const std::string& strDns, const std::string& strFlags,
                  const std::string& strType, const std::string& strAttributes)
{
    return "Net BIOS domain name: " + strNetbios + "\nDNS domain name: " + strDns + "\nFlags: " + strFlags +
           "\nParentIndex: 0\nTrust type: " + strType + "\nTrust attributes: " + strAttributes + "\n-----\n";
}

unsigned long Number(const LdifEntry& entry, const std::string& strName)
{
    const auto value = entry.find(strName);
    return value == entry.end() ? 0 : std::stoul(value->second);
}

} // namespace

std::vector<std::string> ExpectedTrustBlocks(const Host& controller)
{
    const std::string strContext = NamingContext(controller.strDnsDomain);
    std::vector<std::string> blocks;

    // The domain itself. The lab's forests have one domain each (Samba makes no child domains):
    // its own is the root of its tree, and nothing in it has a parent.
    const auto crossReferences = Search(controller, "CN=Partitions,CN=Configuration," + strContext,
                                        "'(&(objectClass=crossRef)(nETBIOSName=*))' nETBIOSName dnsRoot trustParent");
    const auto domainObject = Search(controller, strContext, "-s base nTMixedDomain");
    EXPECT_EQ(crossReferences.size(), 1u);
    EXPECT_EQ(domainObject.size(), 1u);
    for (const LdifEntry& domain : crossReferences) {
        EXPECT_EQ(domain.count("trustParent"), 0u);
        const bool bNative = !domainObject.empty() && domainObject.front().at("nTMixedDomain") == "0";
        blocks.push_back(Block(domain.at("nETBIOSName"), domain.at("dnsRoot"),
                               std::string("DS_DOMAIN_IN_FOREST DS_DOMAIN_TREE_ROOT DS_DOMAIN_PRIMARY ") +
                                   (bNative ? "DS_DOMAIN_NATIVE_MODE " : ""),
                               "TRUST_TYPE_UPLEVEL", "Unknown (0)"));
    }

    // Each trust as it is stored: its direction (1 inbound, 2 outbound) makes its flags.
    for (const LdifEntry& trust :
         Search(controller, "CN=System," + strContext,
                "'(objectClass=trustedDomain)' flatName trustPartner trustDirection trustType trustAttributes")) {
        const unsigned long ulDirection = Number(trust, "trustDirection");
        const unsigned long ulAttributes = Number(trust, "trustAttributes");
        EXPECT_EQ(ulAttributes & 32, 0u) << "a trust inside the forest, which the lab does not make";
        const std::string strFlags = std::string((ulDirection & 2) ? "DS_DOMAIN_DIRECT_OUTBOUND " : "") +
                                     ((ulDirection & 1) ? "DS_DOMAIN_DIRECT_INBOUND " : "");
        blocks.push_back(Block(trust.at("flatName"), trust.at("trustPartner"), strFlags,
                               TypeText(Number(trust, "trustType")), AttributesText(ulAttributes)));
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

std::vector<std::string> ListedTrustBlocks(const std::string& strListing)
{
    std::vector<std::string> blocks;
    std::istringstream lines(strListing);
    std::string strLine;
    if (!std::getline(lines, strLine) || strLine != "Starting...") {
        ADD_FAILURE() << "no listing:\n" << strListing;
        return blocks;
    }
    while (std::getline(lines, strLine) && strLine != "...done.") {
        EXPECT_EQ(strLine, "Index: " + std::to_string(blocks.size()));
        std::string strBlock;
        for (int iLine = 0; iLine < 7 && std::getline(lines, strLine); ++iLine)
            strBlock += strLine + "\n";
        blocks.push_back(strBlock);
    }
    EXPECT_EQ(strLine, "...done.") << strListing;
    EXPECT_FALSE(std::getline(lines, strLine)) << "more after the listing: " << strLine;
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

} // namespace domainlab
