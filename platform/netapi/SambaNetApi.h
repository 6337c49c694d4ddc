#pragma once
// The network answers on Linux: winbind (libwbclient) for this computer's names, its domain, the
// domain controllers and the trusts; libnetapi for the join state that smb.conf records and for
// what another computer says of itself. Without Samba, without a running winbind, or on a
// computer that is not joined, the answers are those of a workgroup member.

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

private:
    // What winbind says of this computer. bRunning is false when there is no winbind to ask.
    struct WinbindView
    {
        bool bRunning = false;
        std::string strNetbiosName;
        std::string strDomain; // the primary domain, or the workgroup
        bool bDomainMember = false;
        std::uint32_t uDomainFlags = 0; // of the primary domain
    };
    struct JoinInformation
    {
        std::wstring strName;
        bool bDomainMember = false;
    };

    const WinbindCalls* Winbind();
    const NetapiCalls* Netapi();
    DWORD ReadWinbindView(WinbindView& view);
    JoinInformation ReadJoinInformation();
    std::wstring ComputerNetbiosName();
    DWORD OwnDomainTrusts(const WinbindView& view, ULONG ulFlags, DomainTrustArray& trusts);
    DWORD OtherDomainTrusts(const std::string& strDomain, ULONG ulFlags, DomainTrustArray& trusts);
    DWORD RemoteWorkstationInfo(const wchar_t* wszServerName, WKSTA_INFO_101& info);

    SambaSources m_sources;
    std::mutex m_lock;
    std::optional<LoadedCalls<WinbindCalls>> m_winbind;
    std::optional<LoadedCalls<NetapiCalls>> m_netapi;
    libnetapi_ctx* m_pNetapiContext = nullptr; // freed with the object
    // The domain each controller that DsGetDcNameW named was asked for, by upper-case name.
    std::map<std::wstring, std::string> m_controllerDomains;
};

} // namespace platform::netapi
