#pragma once
// The domain a computer belongs to, and the trusts of a domain as its domain controller knows them.

#include "common/HResult.h"
#include "platform/netapi/NetApi.h"

#include <map>
#include <string>

namespace Keeplibs {

// The domain or workgroup of the computer that hosts the named server ("SQLBOX\INST1" asks
// SQLBOX), or of this computer when the name is null, empty or starts with a backslash.
// E_FAIL when the computer cannot be asked, E_OUTOFMEMORY.
HRESULT GetSQLServerDomainName(const wchar_t* wszServerName, std::wstring& bstrDomainName);

} // namespace Keeplibs

namespace UTIL::ADDOMAIN {

// A domain controller of one domain, and the trusts it reports, enumerated once per combination
// of trust flags. Every failure throws _com_error with its HRESULT.
class CDomainTrust
{
public:
    // Finds a domain controller of the domain; a null or empty name addresses this computer.
    explicit CDomainTrust(const wchar_t* wszDomain);

    bool TrustExists(platform::netapi::ULONG ulFlags, const wchar_t* wszOtherDomain);
    // Whether the other domain (a NetBIOS name, compared without regard to case) is this domain.
    bool IsInSameDomainAs(const wchar_t* wszOtherDomain);
    // The domain's DNS name as its controller's lookup gave it; empty when the domain has none or
    // none was named.
    const std::wstring& DomainDnsName() const { return m_wstrDomainDnsName; }

    // One enumeration of the controller's trusts that have any of the flags.
    class CTrust
    {
    public:
        CTrust(platform::netapi::ULONG ulFlags, const std::wstring& wstrDcServerName);
        // Whether a trust's NetBIOS domain name is the other domain, without regard to case.
        bool TrustExists(const wchar_t* wszOtherDomain) const;

    private:
        platform::netapi::DomainTrustArray m_trustEntries;
    };

private:
    std::wstring m_wstrDcServerName; // "\\" and the controller's name; empty for this computer
    std::wstring m_wstrDomainDnsName;
    std::map<platform::netapi::ULONG, CTrust> m_mapTrusts;
};

} // namespace UTIL::ADDOMAIN
