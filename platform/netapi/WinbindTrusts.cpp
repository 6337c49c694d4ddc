#include "WinbindTrusts.h"

#include "common/StringUtils.h"
#include "platform/Win32Error.h"

namespace platform::netapi {
namespace {

std::optional<std::wstring> NameOrNothing(const char* szName)
{
    if (!szName || !*szName)
        return std::nullopt;
    return NarrowToWide(szName);
}

// What winbind can tell of the trust's flags. Whether a domain is the root of a tree of its
// forest cannot be told, so DS_DOMAIN_TREE_ROOT is never set.
ULONG TrustFlags(const WinbindDomainInfo& domain, std::uint32_t uPrimaryDomainFlags)
{
    if (IsPrimaryDomainTrustType(domain.trust_type)) {
        ULONG ulFlags = DS_DOMAIN_PRIMARY | DS_DOMAIN_IN_FOREST;
        if (uPrimaryDomainFlags & WBC_DOMINFO_DOMAIN_NATIVE)
            ulFlags |= DS_DOMAIN_NATIVE_MODE;
        return ulFlags;
    }
    ULONG ulFlags = 0;
    if (domain.trust_type == WBC_DOMINFO_TRUSTTYPE_IN_FOREST)
        ulFlags |= DS_DOMAIN_IN_FOREST;
    if (domain.trust_flags & WBC_DOMINFO_TRUST_OUTGOING)
        ulFlags |= DS_DOMAIN_DIRECT_OUTBOUND;
    if (domain.trust_flags & WBC_DOMINFO_TRUST_INCOMING)
        ulFlags |= DS_DOMAIN_DIRECT_INBOUND;
    return ulFlags;
}

// The primary domain carries no trust attributes; a trust to another domain carries how far it
// reaches.
ULONG TrustAttributes(const WinbindDomainInfo& domain)
{
    if (IsPrimaryDomainTrustType(domain.trust_type))
        return 0;
    ULONG ulAttributes = 0;
    if (domain.trust_type == WBC_DOMINFO_TRUSTTYPE_FOREST)
        ulAttributes |= TRUST_ATTRIBUTE_FOREST_TRANSITIVE;
    if (domain.trust_type == WBC_DOMINFO_TRUSTTYPE_IN_FOREST)
        ulAttributes |= TRUST_ATTRIBUTE_WITHIN_FOREST;
    if (!(domain.trust_flags & WBC_DOMINFO_TRUST_TRANSITIVE))
        ulAttributes |= TRUST_ATTRIBUTE_NON_TRANSITIVE;
    return ulAttributes;
}

} // namespace

DWORD Win32ErrorFromWinbind(wbcErr status)
{
    switch (status) {
    case WBC_ERR_SUCCESS:
        return ERROR_SUCCESS;
    case WBC_ERR_WINBIND_NOT_AVAILABLE:
        return ERROR_NO_LOGON_SERVERS;
    case WBC_ERR_DOMAIN_NOT_FOUND:
        return ERROR_NO_SUCH_DOMAIN;
    case WBC_ERR_NO_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    case WBC_ERR_INVALID_PARAM:
        return ERROR_INVALID_PARAMETER;
    case WBC_ERR_NOT_IMPLEMENTED:
        return ERROR_NOT_SUPPORTED;
    case WBC_ERR_AUTH_ERROR:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

bool IsPrimaryDomainTrustType(std::uint32_t uTrustType)
{
    switch (uTrustType) {
    case WBC_DOMINFO_TRUSTTYPE_WKSTA: // a member's domain
    case WBC_DOMINFO_TRUSTTYPE_RWDC:  // a domain controller's own domain
    case WBC_DOMINFO_TRUSTTYPE_RODC:
    case WBC_DOMINFO_TRUSTTYPE_PDC:
        return true;
    default:
        return false;
    }
}

std::vector<DS_DOMAIN_TRUSTSW> TrustsFromWinbind(std::span<const WinbindDomainInfo> domains,
                                                 std::uint32_t uPrimaryDomainFlags, ULONG ulFlagsAsked)
{
    std::vector<DS_DOMAIN_TRUSTSW> trusts;
    for (const WinbindDomainInfo& domain : domains) {
        if (domain.trust_type == WBC_DOMINFO_TRUSTTYPE_LOCAL)
            continue;
        DS_DOMAIN_TRUSTSW trust;
        trust.Flags = TrustFlags(domain, uPrimaryDomainFlags);
        if ((trust.Flags & ulFlagsAsked) == 0)
            continue;
        trust.NetbiosDomainName = NameOrNothing(domain.short_name);
        trust.DnsDomainName = NameOrNothing(domain.dns_name);
        // Winbind does not say where a domain stands in its forest's tree.
        trust.ParentIndex = 0;
        // A domain with a DNS name is an Active Directory domain; winbind lists no Kerberos realms.
        trust.TrustType = trust.DnsDomainName ? TRUST_TYPE_UPLEVEL : TRUST_TYPE_DOWNLEVEL;
        trust.TrustAttributes = TrustAttributes(domain);
        trusts.push_back(std::move(trust));
    }
    return trusts;
}

} // namespace platform::netapi
