#pragma once
// The network answers on Linux: winbind (libwbclient) for this computer's names, its domain and
// the domain controllers; the controllers' directories (LDAP) for the trusts, with winbind's list
// when no directory can be read; libnetapi for the join state that smb.conf records and for what
// another computer says of itself. Without Samba, without a running winbind, or on a computer
// that is not joined, the answers are those of a workgroup member.

#include "DirectoryTrustReading.h"
#include "SambaLibraries.h"
#include "platform/netapi/NetApi.h"

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace platform::netapi {

// What the answers are read from, besides the libraries' own configuration.
struct SambaSources
{
    std::function<LoadedCalls<WinbindCalls>()> loadWinbind = LoadWinbindCalls;
    std::function<LoadedCalls<NetapiCalls>()> loadNetapi = LoadNetapiCalls;
    std::function<DirectoryReading(const DirectoryQuery&)> readDirectory = ReadTrustsFromDirectory;
    // libnetapi cannot start without it, and says so on standard output: it is asked only when
    // this file is there.
    std::filesystem::path sambaConfigFile = "/etc/samba/smb.conf";
    std::function<std::string()> hostName; // empty: the system's host name
};

// The NetBIOS name a host name stands for: up to the first dot, upper case, at most 15 characters.
std::wstring NetbiosNameFromHostName(std::string_view hostName);

class CSambaNetApi : public INetApi
{
public:
    explicit CSambaNetApi(SambaSources sources = {});
    ~CSambaNetApi() override;
    CSambaNetApi(const CSambaNetApi&) = delete;
    CSambaNetApi& operator=(const CSambaNetApi&) = delete;

    DWORD GetComputerNameExW(COMPUTER_NAME_FORMAT format, wchar_t* lpBuffer, DWORD* pnSize) override;
    DWORD QueryPrimaryDomain(PrimaryDomainInfo& info) override;
    DWORD NetWkstaGetInfo101(const wchar_t* wszServerName, WKSTA_INFO_101& info) override;
    DWORD DsGetDcNameW(const wchar_t* wszDomainName, ULONG ulFlags,
                       std::unique_ptr<DOMAIN_CONTROLLER_INFOW>& pInfo) override;
    DWORD DsEnumerateDomainTrustsW(const wchar_t* wszServerName, ULONG ulFlags, DomainTrustArray& trusts) override;
    std::vector<std::wstring> TakeNotes() override;

private:
    // What winbind says of this computer. bRunning is false when there is no winbind to ask.
    struct WinbindView
    {
        bool bRunning = false;
        std::string strNetbiosName;
        std::string strDomain;    // the primary domain, or the workgroup
        std::string strDnsDomain; // the primary domain's DNS name, when it has one
        bool bDomainMember = false;
        std::uint32_t uDomainFlags = 0; // of the primary domain
    };
    struct JoinInformation
    {
        std::wstring strName;
        bool bDomainMember = false;
    };
    // A controller that DsGetDcNameW named ("\\name", as winbind spelt it) and the domain it was
    // asked for.
    struct NamedController
    {
        std::wstring strController;
        std::string strDomain;
    };

    const WinbindCalls* Winbind();
    const NetapiCalls* Netapi();
    DWORD ReadWinbindView(WinbindView& view);
    JoinInformation ReadJoinInformation();
    std::wstring ComputerNetbiosName();
    std::wstring ComputerDnsName();
    // winbind's lookup of a controller of the domain (a DNS or a NetBIOS name), as "\\name".
    DWORD LookupController(const std::string& strDomain, ULONG ulFlags, std::wstring& strController);
    // The DNS name of a domain named by its NetBIOS name: this computer's own, one winbind
    // knows, or one the own domain's directory holds a trust with. Empty when none says.
    std::string DnsNameOfDomain(const WinbindView& view, const std::string& strDomain);
    // A domain without a DNS name (a Windows NT 4 one) has no directory.
    bool HasDirectory(const WinbindView& view);
    std::optional<std::vector<DS_DOMAIN_TRUSTSW>> DirectoryTrusts(const WinbindView& view,
                                                                  const std::wstring& strController, ULONG ulFlags);
    std::optional<std::vector<DS_DOMAIN_TRUSTSW>> OwnDirectoryTrusts(const WinbindView& view, ULONG ulFlags);
    DWORD OwnDomainTrusts(const WinbindView& view, ULONG ulFlags, DomainTrustArray& trusts);
    DWORD OtherDomainTrusts(const std::string& strDomain, ULONG ulFlags, DomainTrustArray& trusts);
    DWORD RemoteWorkstationInfo(const wchar_t* wszServerName, WKSTA_INFO_101& info);
    void Note(std::wstring strNote);

    SambaSources m_sources;
    std::mutex m_lock;
    std::optional<LoadedCalls<WinbindCalls>> m_winbind;
    std::optional<LoadedCalls<NetapiCalls>> m_netapi;
    libnetapi_ctx* m_pNetapiContext = nullptr;             // freed with the object
    std::map<std::wstring, NamedController> m_controllers; // by the controller's upper-case "\\name"
    std::vector<std::wstring> m_notes;
};

} // namespace platform::netapi
