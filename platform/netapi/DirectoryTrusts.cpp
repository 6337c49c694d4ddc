#include "DirectoryTrusts.h"

#include "DirectoryError.h"
#include "common/StringUtils.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace platform::netapi {
namespace {

// Directory names (distinguished names, DNS names) compare without regard to ASCII case.
bool SameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text;
}

// The directory stores 32-bit integers as signed decimal text; anything else counts as 0.
ULONG Number(const std::optional<std::string>& value)
{
    if (!value)
        return 0;
    std::int64_t iValue = 0;
    const char* const szEnd = value->data() + value->size();
    const auto [pStop, error] = std::from_chars(value->data(), szEnd, iValue);
    return error == std::errc() && pStop == szEnd ? static_cast<ULONG>(iValue) : 0;
}

std::optional<std::wstring> Text(const std::optional<std::string>& value)
{
    if (!value || value->empty())
        return std::nullopt;
    return NarrowToWide(*value);
}

// A domain as it is collected, with what places it in its forest's tree.
struct CollectedDomain
{
    DS_DOMAIN_TRUSTSW trust;
    bool bInForest = false;
    std::string strCrossReference; // its partition's cross-reference, for a domain of the forest
    std::string strParent;         // the cross-reference of its parent domain, if it has one
    std::string strSortKey;        // its DNS name (or its NetBIOS name) in lower case
};

constexpr ULONG kInbound = 0x1;  // trustDirection: the other domain trusts this one
constexpr ULONG kOutbound = 0x2; // trustDirection: this domain trusts the other one

std::vector<CollectedDomain> ForestDomains(const DomainDirectory& directory)
{
    const bool bNative = !directory.domainObject.empty() &&
                         directory.domainObject.front().Value("nTMixedDomain") == std::optional<std::string>("0");
    std::vector<CollectedDomain> domains;
    for (const DirectoryEntry& entry : directory.forestDomains) {
        CollectedDomain& domain = domains.emplace_back();
        domain.bInForest = true;
        domain.strCrossReference = entry.strDn;
        domain.strParent = entry.Value("trustParent").value_or("");
        domain.strSortKey = LowerCase(entry.Value("dnsRoot").value_or(entry.Value("nETBIOSName").value_or("")));
        domain.trust.NetbiosDomainName = Text(entry.Value("nETBIOSName"));
        domain.trust.DnsDomainName = Text(entry.Value("dnsRoot"));
        // A domain without a parent is the root of a tree of the forest.
        domain.trust.Flags = DS_DOMAIN_IN_FOREST | (domain.strParent.empty() ? DS_DOMAIN_TREE_ROOT : 0);
        domain.trust.TrustType = TRUST_TYPE_UPLEVEL;
        if (SameName(entry.Value("nCName").value_or(""), directory.strDomainNamingContext))
            domain.trust.Flags |= DS_DOMAIN_PRIMARY | (bNative ? DS_DOMAIN_NATIVE_MODE : 0);
    }
    return domains;
}

// A trusted-domain object adds the trust's direction, kind and attributes to the domain it names,
// which may be one of the forest's.
void AddTrust(std::vector<CollectedDomain>& domains, const DirectoryEntry& entry)
{
    const std::string strFlatName = entry.Value("flatName").value_or("");
    const std::string strPartner = entry.Value("trustPartner").value_or("");
    auto domain = std::find_if(domains.begin(), domains.end(), [&](const CollectedDomain& known) {
        const std::string strDns = known.trust.DnsDomainName ? WideToNarrow(*known.trust.DnsDomainName) : "";
        const std::string strNetbios =
            known.trust.NetbiosDomainName ? WideToNarrow(*known.trust.NetbiosDomainName) : "";
        return (!strPartner.empty() && SameName(strDns, strPartner)) ||
               (!strFlatName.empty() && SameName(strNetbios, strFlatName));
    });
    if (domain == domains.end()) {
        domain = domains.insert(domains.end(), CollectedDomain{});
        domain->trust.NetbiosDomainName = Text(entry.Value("flatName"));
        domain->trust.DnsDomainName = Text(entry.Value("trustPartner"));
        domain->strSortKey = LowerCase(strPartner.empty() ? strFlatName : strPartner);
    }
    const ULONG ulDirection = Number(entry.Value("trustDirection"));
    domain->trust.TrustType = Number(entry.Value("trustType"));
    domain->trust.TrustAttributes = Number(entry.Value("trustAttributes"));
    if (ulDirection & kInbound)
        domain->trust.Flags |= DS_DOMAIN_DIRECT_INBOUND;
    if (ulDirection & kOutbound)
        domain->trust.Flags |= DS_DOMAIN_DIRECT_OUTBOUND;
    if (domain->trust.TrustAttributes & TRUST_ATTRIBUTE_WITHIN_FOREST)
        domain->trust.Flags |= DS_DOMAIN_IN_FOREST;
}

} // namespace

DomainDirectory ReadDomainDirectory(CDirectorySession& session)
{
    DomainDirectory directory;
    const std::vector<DirectoryEntry> root =
        session.Search("", LDAP_SCOPE_BASE, "(objectClass=*)", {"defaultNamingContext", "configurationNamingContext"});
    const auto domainContext = root.empty() ? std::nullopt : root.front().Value("defaultNamingContext");
    const auto configurationContext = root.empty() ? std::nullopt : root.front().Value("configurationNamingContext");
    if (!domainContext || !configurationContext)
        throw CDirectoryError("the directory names no domain or configuration");
    directory.strDomainNamingContext = *domainContext;
    // A domain's partition: a cross-reference of a naming context (1) that is a domain's (2).
    directory.forestDomains =
        session.Search("CN=Partitions," + *configurationContext, LDAP_SCOPE_ONELEVEL,
                       "(&(objectClass=crossRef)(systemFlags:1.2.840.113556.1.4.803:=3)(nETBIOSName=*))",
                       {"nETBIOSName", "dnsRoot", "nCName", "trustParent"});
    directory.domainObject = session.Search(*domainContext, LDAP_SCOPE_BASE, "(objectClass=*)", {"nTMixedDomain"});
    directory.trustedDomains =
        session.Search("CN=System," + *domainContext, LDAP_SCOPE_ONELEVEL, "(objectClass=trustedDomain)",
                       {"flatName", "trustPartner", "trustDirection", "trustType", "trustAttributes"});
    return directory;
}

std::vector<DS_DOMAIN_TRUSTSW> TrustsFromDirectory(const DomainDirectory& directory, ULONG ulFlagsAsked)
{
    std::vector<CollectedDomain> domains = ForestDomains(directory);
    if (std::none_of(domains.begin(), domains.end(),
                     [](const CollectedDomain& domain) { return domain.trust.Flags & DS_DOMAIN_PRIMARY; }))
        throw CDirectoryError("the directory does not describe its own domain " + directory.strDomainNamingContext);
    for (const DirectoryEntry& entry : directory.trustedDomains)
        AddTrust(domains, entry);

    std::stable_sort(domains.begin(), domains.end(), [](const CollectedDomain& a, const CollectedDomain& b) {
        return a.bInForest != b.bInForest ? a.bInForest : a.strSortKey < b.strSortKey;
    });
    std::erase_if(domains,
                  [ulFlagsAsked](const CollectedDomain& domain) { return !(domain.trust.Flags & ulFlagsAsked); });

    std::vector<DS_DOMAIN_TRUSTSW> trusts;
    for (const CollectedDomain& domain : domains) {
        DS_DOMAIN_TRUSTSW& trust = trusts.emplace_back(domain.trust);
        const auto parent = std::find_if(domains.begin(), domains.end(), [&](const CollectedDomain& other) {
            return !domain.strParent.empty() && SameName(other.strCrossReference, domain.strParent);
        });
        trust.ParentIndex = parent == domains.end() ? 0 : static_cast<ULONG>(parent - domains.begin());
    }
    return trusts;
}

} // namespace platform::netapi
