#include "SambaNetApi.h"

#include "CapturedOutput.h"
#include "WinbindTrusts.h"
#include "common/CharacterClass.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::netapi {
namespace {

using UTIL::STR::EqualsNoCase;
using UTIL::STR::UpperCase;

// What Samba's libraries hand out, freed by their own allocator.
template <class T, class FreeFunction> auto OwnedBy(T* p, FreeFunction pFree)
{
    const auto release = [pFree](T* pOwned) {
        if (pOwned)
            pFree(pOwned);
    };
    return std::unique_ptr<T, decltype(release)>(p, release);
}

std::string SystemHostName()
{
    char szName[256] = {};
    if (::gethostname(szName, sizeof szName - 1) != 0)
        return {};
    return szName;
}

bool IsRegularFile(const std::filesystem::path& path)
{
    struct stat status = {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// "\\name" or "name" as the bare name.
std::wstring_view WithoutLeadingBackslashes(std::wstring_view name)
{
    while (name.starts_with(L'\\'))
        name.remove_prefix(1);
    return name;
}

std::string UpperCaseAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

bool SameDomain(const std::string& a, const std::string& b)
{
    return !a.empty() && EqualsNoCase(NarrowToWide(a), NarrowToWide(b));
}

constexpr std::wstring_view kDefaultWorkgroup = L"WORKGROUP";

// DsGetDcNameW answers the controller's DNS name unless a flat name is asked for, as Windows does
// for a domain with a directory; the directory is read by that name.
ULONG WithDnsNameAnswer(ULONG ulFlags)
{
    return (ulFlags & WBC_LOOKUP_DC_RETURN_FLAT_NAME) ? ulFlags : ulFlags | WBC_LOOKUP_DC_RETURN_DNS_NAME;
}

} // namespace

std::wstring NetbiosNameFromHostName(std::string_view hostName)
{
    hostName = hostName.substr(0, hostName.find('.'));
    return UpperCase(NarrowToWide(hostName)).substr(0, MAX_COMPUTERNAME_LENGTH);
}

CSambaNetApi::CSambaNetApi(SambaSources sources) : m_sources(std::move(sources))
{
    if (!m_sources.hostName)
        m_sources.hostName = SystemHostName;
}

CSambaNetApi::~CSambaNetApi()
{
    if (m_pNetapiContext) {
        CCapturedOutput captured;
        m_netapi->calls->Free(m_pNetapiContext);
    }
}

void CSambaNetApi::Note(std::wstring strNote)
{
    m_notes.push_back(std::move(strNote));
}

std::vector<std::wstring> CSambaNetApi::TakeNotes()
{
    const std::lock_guard guard(m_lock);
    return std::exchange(m_notes, {});
}

const WinbindCalls* CSambaNetApi::Winbind()
{
    if (!m_winbind)
        m_winbind = m_sources.loadWinbind();
    return m_winbind->calls ? &*m_winbind->calls : nullptr;
}

const NetapiCalls* CSambaNetApi::Netapi()
{
    if (!m_netapi) {
        if (!IsRegularFile(m_sources.sambaConfigFile)) {
            m_netapi.emplace();
            return nullptr;
        }
        m_netapi = m_sources.loadNetapi();
        const NetapiCalls* pCalls = m_netapi->calls ? &*m_netapi->calls : nullptr;
        CCapturedOutput captured;
        if (pCalls && pCalls->Init(&m_pNetapiContext) == 0) {
            pCalls->SetDebuglevel(m_pNetapiContext, "0");
            // Another computer is asked with Kerberos alone: a password, even an empty one, keeps
            // libnetapi from asking for one on the terminal, and without Kerberos required a
            // failed Kerberos login would quietly become an anonymous session, whose answer
            // proves nothing.
            pCalls->SetPassword(m_pNetapiContext, "");
            pCalls->SetUseKerberos(m_pNetapiContext);
        } else {
            m_pNetapiContext = nullptr;
        }
        NotePrinted(m_notes, L"libnetapi", captured.Release());
    }
    return m_pNetapiContext ? &*m_netapi->calls : nullptr;
}

DWORD CSambaNetApi::ReadWinbindView(WinbindView& view)
{
    view = {};
    const WinbindCalls* pWinbind = Winbind();
    if (!pWinbind)
        return ERROR_SUCCESS;
    WinbindInterfaceDetails* pRawDetails = nullptr;
    const wbcErr status = pWinbind->InterfaceDetails(&pRawDetails);
    const auto pDetails = OwnedBy(pRawDetails, pWinbind->FreeMemory);
    if (status == WBC_ERR_WINBIND_NOT_AVAILABLE)
        return ERROR_SUCCESS;
    if (status != WBC_ERR_SUCCESS || !pDetails)
        return status != WBC_ERR_SUCCESS ? Win32ErrorFromWinbind(status) : ERROR_GEN_FAILURE;
    view.bRunning = true;
    view.strNetbiosName = pDetails->netbios_name ? pDetails->netbios_name : "";
    view.strDomain = pDetails->netbios_domain ? pDetails->netbios_domain : "";
    view.strDnsDomain = pDetails->dns_domain ? pDetails->dns_domain : "";
    if (view.strDomain.empty())
        return ERROR_SUCCESS;

    // On a member, winbind knows the domain it is joined to as its primary domain, with its SID;
    // a computer that is not joined has no such domain.
    WinbindDomainInfo* pRawDomain = nullptr;
    const wbcErr domainStatus = pWinbind->DomainInfo(view.strDomain.c_str(), &pRawDomain);
    const auto pDomain = OwnedBy(pRawDomain, pWinbind->FreeMemory);
    if (domainStatus == WBC_ERR_DOMAIN_NOT_FOUND)
        return ERROR_SUCCESS;
    if (domainStatus != WBC_ERR_SUCCESS)
        return Win32ErrorFromWinbind(domainStatus);
    view.bDomainMember = pDomain && (pDomain->domain_flags & WBC_DOMINFO_DOMAIN_PRIMARY) && pDomain->sid.num_auths > 0;
    view.uDomainFlags = pDomain ? pDomain->domain_flags : 0;
    return ERROR_SUCCESS;
}

// What smb.conf says when winbind cannot be asked: the workgroup or domain, and whether the
// computer is set up as a domain member. Without libnetapi or smb.conf: a workgroup member.
CSambaNetApi::JoinInformation CSambaNetApi::ReadJoinInformation()
{
    const NetapiCalls* pNetapi = Netapi();
    if (!pNetapi)
        return {std::wstring(kDefaultWorkgroup), false};
    const char* szRawName = nullptr;
    std::uint16_t uJoinStatus = NetSetupUnknownStatus;
    CCapturedOutput captured;
    const NET_API_STATUS status = pNetapi->GetJoinInformation(nullptr, &szRawName, &uJoinStatus);
    NotePrinted(m_notes, L"libnetapi", captured.Release());
    const auto szName = OwnedBy(szRawName, [pNetapi](const char* p) { pNetapi->BufferFree(const_cast<char*>(p)); });
    if (status != 0 || !szName || !*szName.get())
        return {std::wstring(kDefaultWorkgroup), false};
    return {NarrowToWide(szName.get()), uJoinStatus == NetSetupDomainName};
}

std::wstring CSambaNetApi::ComputerNetbiosName()
{
    WinbindView view;
    if (ReadWinbindView(view) == ERROR_SUCCESS && view.bRunning && !view.strNetbiosName.empty())
        return NetbiosNameFromHostName(view.strNetbiosName);
    return NetbiosNameFromHostName(m_sources.hostName());
}

// A member's DNS name is its host name in its domain's DNS domain, as the domain registers it; a
// host name that holds a dot is one already.
std::wstring CSambaNetApi::ComputerDnsName()
{
    const std::string strHostName = m_sources.hostName();
    WinbindView view;
    if (strHostName.find('.') != std::string::npos || ReadWinbindView(view) != ERROR_SUCCESS || !view.bDomainMember ||
        view.strDnsDomain.empty())
        return NarrowToWide(strHostName);
    return NarrowToWide(strHostName + "." + view.strDnsDomain);
}

DWORD CSambaNetApi::GetComputerNameExW(COMPUTER_NAME_FORMAT format, wchar_t* lpBuffer, DWORD* pnSize)
{
    if ((format != ComputerNameNetBIOS && format != ComputerNameDnsFullyQualified) || !pnSize ||
        (!lpBuffer && *pnSize > 0))
        return ERROR_INVALID_PARAMETER;
    const std::lock_guard guard(m_lock);
    const std::wstring strName = format == ComputerNameNetBIOS ? ComputerNetbiosName() : ComputerDnsName();
    if (*pnSize < strName.size() + 1) {
        *pnSize = static_cast<DWORD>(strName.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::copy(strName.begin(), strName.end(), lpBuffer);
    lpBuffer[strName.size()] = L'\0';
    *pnSize = static_cast<DWORD>(strName.size());
    return ERROR_SUCCESS;
}

DWORD CSambaNetApi::QueryPrimaryDomain(PrimaryDomainInfo& info)
{
    const std::lock_guard guard(m_lock);
    WinbindView view;
    if (const DWORD dwError = ReadWinbindView(view); dwError != ERROR_SUCCESS)
        return dwError;
    if (view.bRunning) {
        info = {NarrowToWide(view.strDomain), view.bDomainMember};
        return ERROR_SUCCESS;
    }
    // Without winbind the computer is still what smb.conf made it: a member stays one (and
    // whoever needs its domain controller learns that none can be reached).
    const JoinInformation join = ReadJoinInformation();
    info = {join.strName, join.bDomainMember};
    return ERROR_SUCCESS;
}

DWORD CSambaNetApi::NetWkstaGetInfo101(const wchar_t* wszServerName, WKSTA_INFO_101& info)
{
    const std::lock_guard guard(m_lock);
    if (wszServerName && !WithoutLeadingBackslashes(wszServerName).empty())
        return RemoteWorkstationInfo(wszServerName, info);
    WinbindView view;
    if (const DWORD dwError = ReadWinbindView(view); dwError != ERROR_SUCCESS)
        return dwError;
    info.wki101_computername = ComputerNetbiosName();
    info.wki101_langroup = view.bRunning ? NarrowToWide(view.strDomain) : ReadJoinInformation().strName;
    return ERROR_SUCCESS;
}

// Another computer says itself what it belongs to, over a session authenticated with the
// caller's Kerberos ticket.
DWORD CSambaNetApi::RemoteWorkstationInfo(const wchar_t* wszServerName, WKSTA_INFO_101& info)
{
    const NetapiCalls* pNetapi = Netapi();
    if (!pNetapi)
        return ERROR_NOT_SUPPORTED;
    const std::string strServer = WideToNarrow(WithoutLeadingBackslashes(wszServerName));
    std::uint8_t* pRawBuffer = nullptr;
    CCapturedOutput captured;
    const NET_API_STATUS status = pNetapi->WkstaGetInfo(strServer.c_str(), 101, &pRawBuffer);
    NotePrinted(m_notes, L"libnetapi", captured.Release());
    const auto pBuffer = OwnedBy(pRawBuffer, pNetapi->BufferFree);
    if (status != 0)
        return status;
    if (!pBuffer)
        return ERROR_GEN_FAILURE;
    const auto& wksta = *reinterpret_cast<const NetapiWkstaInfo101*>(pBuffer.get());
    info.wki101_computername = NarrowToWide(wksta.wki101_computername ? wksta.wki101_computername : "");
    info.wki101_langroup = NarrowToWide(wksta.wki101_langroup ? wksta.wki101_langroup : "");
    return ERROR_SUCCESS;
}

DWORD CSambaNetApi::LookupController(const std::string& strDomain, ULONG ulFlags, std::wstring& strController)
{
    const WinbindCalls* pWinbind = Winbind();
    if (!pWinbind)
        return ERROR_NO_LOGON_SERVERS;
    wbcDomainControllerInfo* pRawController = nullptr;
    const wbcErr status = pWinbind->LookupDomainController(strDomain.c_str(), ulFlags, &pRawController);
    const auto pController = OwnedBy(pRawController, pWinbind->FreeMemory);
    if (status != WBC_ERR_SUCCESS)
        return Win32ErrorFromWinbind(status);
    if (!pController || !pController->dc_name)
        return ERROR_GEN_FAILURE;
    strController = L"\\\\" + std::wstring(WithoutLeadingBackslashes(NarrowToWide(pController->dc_name)));
    return ERROR_SUCCESS;
}

std::string CSambaNetApi::DnsNameOfDomain(const WinbindView& view, const std::string& strDomain)
{
    if (strDomain.find('.') != std::string::npos)
        return strDomain;
    if (SameDomain(view.strDomain, strDomain))
        return view.strDnsDomain;
    WinbindDomainInfo* pRawDomain = nullptr;
    const WinbindCalls& winbind = *Winbind();
    const wbcErr status = winbind.DomainInfo(strDomain.c_str(), &pRawDomain);
    const auto pDomain = OwnedBy(pRawDomain, winbind.FreeMemory);
    if (status == WBC_ERR_SUCCESS && pDomain && pDomain->dns_name && *pDomain->dns_name)
        return pDomain->dns_name;
    // Winbind lists the trusted domains only when it is told to scan them: the directory holds
    // them all.
    const auto trusts = OwnDirectoryTrusts(view, DS_DOMAIN_VALID_FLAGS);
    if (!trusts)
        return {};
    const std::wstring strWanted = NarrowToWide(strDomain);
    const auto trust = std::find_if(trusts->begin(), trusts->end(), [&](const DS_DOMAIN_TRUSTSW& candidate) {
        return candidate.NetbiosDomainName && EqualsNoCase(*candidate.NetbiosDomainName, strWanted);
    });
    return trust != trusts->end() && trust->DnsDomainName ? WideToNarrow(*trust->DnsDomainName) : std::string();
}

// A domain's controller is looked up by the domain's DNS name: by its NetBIOS name the lookup
// needs NetBIOS, which Active Directory domains often disable, and otherwise works only while
// Samba's cache still holds an earlier lookup by the DNS name.
DWORD CSambaNetApi::DsGetDcNameW(const wchar_t* wszDomainName, ULONG ulFlags,
                                 std::unique_ptr<DOMAIN_CONTROLLER_INFOW>& pInfo)
{
    pInfo.reset();
    if (!wszDomainName || !*wszDomainName)
        return ERROR_INVALID_PARAMETER;
    const std::lock_guard guard(m_lock);
    WinbindView view;
    if (const DWORD dwError = ReadWinbindView(view); dwError != ERROR_SUCCESS)
        return dwError;
    if (!view.bRunning)
        return ERROR_NO_LOGON_SERVERS;
    const std::string strDomain = WideToNarrow(wszDomainName);
    const std::string strDnsDomain = DnsNameOfDomain(view, strDomain);
    if (strDnsDomain.empty())
        Note(L"No DNS name is known for the domain " + NarrowToWide(strDomain) +
             L": its domain controller is looked up by that name");
    else if (strDnsDomain != strDomain)
        Note(L"The domain controller of " + NarrowToWide(strDomain) + L" is looked up by the domain's DNS name " +
             NarrowToWide(strDnsDomain));
    std::wstring strController;
    const DWORD dwError =
        LookupController(strDnsDomain.empty() ? strDomain : strDnsDomain, WithDnsNameAnswer(ulFlags), strController);
    if (dwError != ERROR_SUCCESS)
        return dwError;
    auto pAnswer = std::make_unique<DOMAIN_CONTROLLER_INFOW>();
    pAnswer->DomainControllerName = strController;
    pAnswer->DomainName = NarrowToWide(strDnsDomain.empty() ? strDomain : strDnsDomain);
    m_controllers[UpperCase(strController)] = {strController, strDomain};
    pInfo = std::move(pAnswer);
    return ERROR_SUCCESS;
}

bool CSambaNetApi::HasDirectory(const WinbindView& view)
{
    if (!view.strDnsDomain.empty() && !view.strNetbiosName.empty())
        return true;
    Note(L"The domain has no DNS name: there is no directory to read its trusts from");
    return false;
}

std::optional<std::vector<DS_DOMAIN_TRUSTSW>>
CSambaNetApi::DirectoryTrusts(const WinbindView& view, const std::wstring& strController, ULONG ulFlags)
{
    if (!HasDirectory(view))
        return std::nullopt;
    DirectoryQuery query;
    query.strController = WideToNarrow(WithoutLeadingBackslashes(strController));
    query.strComputerPrincipal = UpperCaseAscii(view.strNetbiosName) + "$@" + UpperCaseAscii(view.strDnsDomain);
    query.ulFlags = ulFlags;
    DirectoryReading reading = m_sources.readDirectory(query);
    for (std::wstring& strNote : reading.notes)
        Note(std::move(strNote));
    return std::move(reading.trusts);
}

std::optional<std::vector<DS_DOMAIN_TRUSTSW>> CSambaNetApi::OwnDirectoryTrusts(const WinbindView& view, ULONG ulFlags)
{
    std::wstring strController;
    if (!HasDirectory(view))
        return std::nullopt;
    if (const DWORD dwError = LookupController(
            view.strDnsDomain, WBC_LOOKUP_DC_DS_REQUIRED | WBC_LOOKUP_DC_RETURN_DNS_NAME, strController);
        dwError != ERROR_SUCCESS) {
        Note(FormatW(L"No domain controller of %ls was found (%lu): its directory cannot be read",
                     NarrowToWide(view.strDnsDomain).c_str(), static_cast<unsigned long>(dwError)));
        return std::nullopt;
    }
    return DirectoryTrusts(view, strController, ulFlags);
}

DWORD CSambaNetApi::DsEnumerateDomainTrustsW(const wchar_t* wszServerName, ULONG ulFlags, DomainTrustArray& trusts)
{
    trusts = {};
    if (ulFlags == 0 || (ulFlags & ~DS_DOMAIN_VALID_FLAGS) != 0)
        return ERROR_INVALID_FLAGS;
    const std::lock_guard guard(m_lock);
    WinbindView view;
    if (const DWORD dwError = ReadWinbindView(view); dwError != ERROR_SUCCESS)
        return dwError;
    if (!view.bRunning)
        return ReadJoinInformation().bDomainMember ? ERROR_NO_LOGON_SERVERS : ERROR_NO_TRUST_LSA_SECRET;
    if (!view.bDomainMember)
        return ERROR_NO_TRUST_LSA_SECRET;

    if (!wszServerName || !*wszServerName) {
        if (auto directoryTrusts = OwnDirectoryTrusts(view, ulFlags)) {
            trusts = DomainTrustArray(std::move(*directoryTrusts));
            return ERROR_SUCCESS;
        }
        Note(L"Trusts from winbind's list instead, which knows less than the directory");
        return OwnDomainTrusts(view, ulFlags, trusts);
    }
    const auto found = m_controllers.find(UpperCase(wszServerName));
    if (found == m_controllers.end())
        return ERROR_BAD_NETPATH; // only controllers found through winbind can be asked about
    const NamedController& controller = found->second;
    if (auto directoryTrusts = DirectoryTrusts(view, controller.strController, ulFlags)) {
        trusts = DomainTrustArray(std::move(*directoryTrusts));
        return ERROR_SUCCESS;
    }
    Note(L"Trusts from winbind's list instead, which knows less than the directory");
    if (SameDomain(controller.strDomain, view.strDomain) || SameDomain(controller.strDomain, view.strDnsDomain))
        return OwnDomainTrusts(view, ulFlags, trusts);
    return OtherDomainTrusts(controller.strDomain, ulFlags, trusts);
}

DWORD CSambaNetApi::OwnDomainTrusts(const WinbindView& view, ULONG ulFlags, DomainTrustArray& trusts)
{
    const WinbindCalls& winbind = *Winbind();
    WinbindDomainInfo* pRawDomains = nullptr;
    std::size_t cDomains = 0;
    const wbcErr status = winbind.ListTrusts(&pRawDomains, &cDomains);
    const auto pDomains = OwnedBy(pRawDomains, winbind.FreeMemory);
    if (status != WBC_ERR_SUCCESS)
        return Win32ErrorFromWinbind(status);
    // A count without its list is a broken answer, and is passed on as one: not as no trusts.
    if (cDomains > 0 && !pDomains) {
        trusts = DomainTrustArray::CountWithoutArray(static_cast<ULONG>(std::min<std::size_t>(cDomains, 0xFFFFFFFF)));
        return ERROR_SUCCESS;
    }
    const std::span<const WinbindDomainInfo> domains(pDomains.get(), cDomains);
    // Winbind keeps its list while no domain controller answers, and marks the domain offline.
    const bool bPrimaryOffline = std::any_of(domains.begin(), domains.end(), [](const WinbindDomainInfo& domain) {
        return IsPrimaryDomainTrustType(domain.trust_type) && (domain.domain_flags & WBC_DOMINFO_DOMAIN_OFFLINE);
    });
    if (bPrimaryOffline)
        return ERROR_NO_LOGON_SERVERS;
    trusts = DomainTrustArray(TrustsFromWinbind(domains, view.uDomainFlags, ulFlags));
    return ERROR_SUCCESS;
}

// Seen from this computer, a controller of another domain shows only that domain, as its
// primary one: the trusts that domain holds with others cannot be told from winbind.
DWORD CSambaNetApi::OtherDomainTrusts(const std::string& strDomain, ULONG ulFlags, DomainTrustArray& trusts)
{
    const WinbindCalls& winbind = *Winbind();
    WinbindDomainInfo* pRawDomain = nullptr;
    const wbcErr status = winbind.DomainInfo(strDomain.c_str(), &pRawDomain);
    const auto pDomain = OwnedBy(pRawDomain, winbind.FreeMemory);
    if (status != WBC_ERR_SUCCESS)
        return Win32ErrorFromWinbind(status);
    if (!pDomain)
        return ERROR_GEN_FAILURE;
    WinbindDomainInfo domain = *pDomain;
    domain.trust_type = WBC_DOMINFO_TRUSTTYPE_PDC; // the domain as its own controller sees it
    trusts = DomainTrustArray(TrustsFromWinbind(std::span(&domain, 1), pDomain->domain_flags, ulFlags));
    return ERROR_SUCCESS;
}

} // namespace platform::netapi
