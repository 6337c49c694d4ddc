#pragma once
// The calls of Samba's client libraries that the network answers come from, found at run time so
// that the programs run on computers without Samba. Each table holds the library's own functions
// with their own signatures; tests fill the tables with functions that give recorded answers.

#include "LoadedLibrary.h"

#include <cstddef>
#include <cstdint>

extern "C" {
#include <wbclient.h>
}

namespace platform::netapi {

// winbind.h names its calls as it names the structures they fill: these name the structures.
using WinbindDomainInfo = struct ::wbcDomainInfo;
using WinbindInterfaceDetails = struct ::wbcInterfaceDetails;

// libwbclient: winbind's view of this computer and its domains. Winbind must be running.
struct WinbindCalls
{
    decltype(&::wbcInterfaceDetails) InterfaceDetails;
    decltype(&::wbcDomainInfo) DomainInfo;
    decltype(&::wbcListTrusts) ListTrusts;
    decltype(&::wbcLookupDomainController) LookupDomainController;
    decltype(&::wbcFreeMemory) FreeMemory;
};

// libnetapi, whose development files are not needed to build: these are its declarations.
using NET_API_STATUS = std::uint32_t;
struct libnetapi_ctx;

enum NETSETUP_JOIN_STATUS : std::uint16_t {
    NetSetupUnknownStatus = 0,
    NetSetupUnjoined = 1,
    NetSetupWorkgroupName = 2,
    NetSetupDomainName = 3,
};

// NetWkstaGetInfo's level 101 as libnetapi lays it out: UTF-8 text.
struct NetapiWkstaInfo101
{
    std::uint32_t wki101_platform_id;
    const char* wki101_computername;
    const char* wki101_langroup;
    std::uint32_t wki101_ver_major;
    std::uint32_t wki101_ver_minor;
    const char* wki101_lanroot;
};

struct NetapiCalls
{
    NET_API_STATUS (*Init)(libnetapi_ctx** ppContext);
    NET_API_STATUS (*Free)(libnetapi_ctx* pContext);
    NET_API_STATUS (*SetDebuglevel)(libnetapi_ctx* pContext, const char* szLevel);
    NET_API_STATUS (*SetPassword)(libnetapi_ctx* pContext, const char* szPassword);
    NET_API_STATUS (*SetUseKerberos)(libnetapi_ctx* pContext);
    NET_API_STATUS (*GetJoinInformation)(const char* szServer, const char** pszName, std::uint16_t* pJoinStatus);
    NET_API_STATUS (*WkstaGetInfo)(const char* szServer, std::uint32_t uLevel, std::uint8_t** ppBuffer);
    NET_API_STATUS (*BufferFree)(void* pBuffer);
};

LoadedCalls<WinbindCalls> LoadWinbindCalls();
// libnetapi brings most of Samba with it (tens of milliseconds to load): load it only when needed.
LoadedCalls<NetapiCalls> LoadNetapiCalls();

} // namespace platform::netapi
