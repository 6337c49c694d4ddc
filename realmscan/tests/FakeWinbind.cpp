// A winbind client library for realmscan's black-box tests, loaded in place of Samba's
// (LD_LIBRARY_PATH): the computer is a member of CORP whose domain controller cannot be found, so
// that winbind's list answers, and VESTREL_FAKE_WINBIND says what that list is:
//   count-without-list  a count of three trusts, and no list
//   hostile-names       the domain's names carry terminal commands and line ends
// Everything it hands out is static: freeing it does nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <wbclient.h>
}

namespace {

// winbind.h names its calls as it names the structures they fill: these name the structures.
using WinbindDomainInfo = struct ::wbcDomainInfo;
using WinbindInterfaceDetails = struct ::wbcInterfaceDetails;

bool Scenario(const char* szName)
{
    const char* szScenario = std::getenv("VESTREL_FAKE_WINBIND");
    return szScenario && std::strcmp(szScenario, szName) == 0;
}

char* Text(const char* szText)
{
    return const_cast<char*>(szText);
}

WinbindDomainInfo PrimaryDomain()
{
    WinbindDomainInfo domain{};
    domain.short_name = Text(Scenario("hostile-names") ? "CORP\x1b]0;owned\x07" : "CORP");
    domain.dns_name = Text(Scenario("hostile-names") ? "corp.example\r\nIndex: 9\x1b[2J" : "corp.example");
    domain.sid.num_auths = 4;
    domain.domain_flags = WBC_DOMINFO_DOMAIN_PRIMARY | WBC_DOMINFO_DOMAIN_AD | WBC_DOMINFO_DOMAIN_NATIVE;
    domain.trust_flags = WBC_DOMINFO_TRUST_TRANSITIVE;
    domain.trust_type = WBC_DOMINFO_TRUSTTYPE_WKSTA;
    return domain;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) wbcErr wbcInterfaceDetails(WinbindInterfaceDetails** ppDetails)
{
    static WinbindInterfaceDetails details{};
    details.netbios_name = Text("MAILGW");
    details.netbios_domain = Text("CORP");
    details.dns_domain = Text("corp.example");
    *ppDetails = &details;
    return WBC_ERR_SUCCESS;
}

__attribute__((visibility("default"))) wbcErr wbcDomainInfo(const char* szDomain, WinbindDomainInfo** ppInfo)
{
    static WinbindDomainInfo domain = PrimaryDomain();
    if (std::strcmp(szDomain, "CORP") != 0)
        return WBC_ERR_DOMAIN_NOT_FOUND;
    *ppInfo = &domain;
    return WBC_ERR_SUCCESS;
}

__attribute__((visibility("default"))) wbcErr wbcListTrusts(WinbindDomainInfo** ppDomains, size_t* pcDomains)
{
    static WinbindDomainInfo domain = PrimaryDomain();
    *ppDomains = Scenario("count-without-list") ? nullptr : &domain;
    *pcDomains = Scenario("count-without-list") ? 3 : 1;
    return WBC_ERR_SUCCESS;
}

__attribute__((visibility("default"))) wbcErr wbcLookupDomainController(const char*, uint32_t,
                                                                        wbcDomainControllerInfo** ppInfo)
{
    *ppInfo = nullptr;
    return WBC_ERR_DOMAIN_NOT_FOUND;
}

__attribute__((visibility("default"))) void wbcFreeMemory(void*) {}

} // extern "C"
