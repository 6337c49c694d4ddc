// The Linux answers of the network calls, from answers recorded of Samba's libraries and of a
// domain's directory: a member of a domain with trusts, a computer that is not joined, winbind
// stopped, no domain controller in reach, no directory to read, and no Samba at all.

#include "SambaNetApi.h"

#include "CapturedOutput.h"
#include "DirectoryLibraries.h"

#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace platform::netapi;

namespace {

// What the libraries answer in one test. The fake calls hand out pointers into it and count
// what the code under test frees.
struct RecordedSamba
{
    bool bWinbindRunning = true; // when false, every winbind call answers so at once
    wbcErr detailsStatus = WBC_ERR_SUCCESS;
    WinbindInterfaceDetails details{};
    std::map<std::string, std::pair<wbcErr, WinbindDomainInfo>> domainInfos;
    wbcErr listStatus = WBC_ERR_SUCCESS;
    std::vector<WinbindDomainInfo> trusts;
    bool bListWithoutArray = false; // the count of the trusts, but no list
    // The controller winbind finds for each domain name; other names are not found.
    std::map<std::string, std::string> controllers;
    std::vector<std::string> controllerDomains; // what was asked
    std::deque<wbcDomainControllerInfo> controllerAnswers;
    NET_API_STATUS joinStatus = 0;
    const char* szJoinName = "CORP";
    std::uint16_t uJoinType = NetSetupDomainName;
    NET_API_STATUS wkstaStatus = 0;
    NetapiWkstaInfo101 wksta{};
    std::vector<std::string> wkstaServers; // what was asked
    std::function<void()> whileAsked;      // what NetWkstaGetInfo does besides answering
    std::vector<std::string> netapiSettings;
    // What the directory answers, and who asked.
    std::optional<std::vector<DS_DOMAIN_TRUSTSW>> directoryTrusts;
    std::vector<std::wstring> directoryNotes{L"read as the test says"};
    std::vector<std::string> directoryQueries;
    int iHandedOut = 0;
    int iFreed = 0;
};
RecordedSamba* g_pRecorded = nullptr;

template <class T> T* HandOut(T* p)
{
    ++g_pRecorded->iHandedOut;
    return p;
}

wbcErr FakeInterfaceDetails(WinbindInterfaceDetails** ppDetails)
{
    *ppDetails = nullptr;
    if (!g_pRecorded->bWinbindRunning)
        return WBC_ERR_WINBIND_NOT_AVAILABLE;
    *ppDetails = g_pRecorded->detailsStatus == WBC_ERR_SUCCESS ? HandOut(&g_pRecorded->details) : nullptr;
    return g_pRecorded->detailsStatus;
}
wbcErr FakeDomainInfo(const char* szDomain, WinbindDomainInfo** ppInfo)
{
    *ppInfo = nullptr;
    if (!g_pRecorded->bWinbindRunning)
        return WBC_ERR_WINBIND_NOT_AVAILABLE;
    const auto found = g_pRecorded->domainInfos.find(szDomain);
    if (found == g_pRecorded->domainInfos.end())
        return WBC_ERR_DOMAIN_NOT_FOUND;
    if (found->second.first == WBC_ERR_SUCCESS)
        *ppInfo = HandOut(&found->second.second);
    return found->second.first;
}
wbcErr FakeListTrusts(WinbindDomainInfo** ppDomains, std::size_t* pcDomains)
{
    *ppDomains = nullptr;
    *pcDomains = 0;
    if (!g_pRecorded->bWinbindRunning)
        return WBC_ERR_WINBIND_NOT_AVAILABLE;
    const bool bList = g_pRecorded->listStatus == WBC_ERR_SUCCESS && !g_pRecorded->bListWithoutArray;
    *ppDomains = bList ? HandOut(g_pRecorded->trusts.data()) : nullptr;
    *pcDomains = g_pRecorded->listStatus == WBC_ERR_SUCCESS ? g_pRecorded->trusts.size() : 0;
    return g_pRecorded->listStatus;
}
wbcErr FakeLookupDomainController(const char* szDomain, std::uint32_t, wbcDomainControllerInfo** ppInfo)
{
    *ppInfo = nullptr;
    if (!g_pRecorded->bWinbindRunning)
        return WBC_ERR_WINBIND_NOT_AVAILABLE;
    g_pRecorded->controllerDomains.emplace_back(szDomain);
    const auto found = g_pRecorded->controllers.find(szDomain);
    if (found == g_pRecorded->controllers.end())
        return WBC_ERR_DOMAIN_NOT_FOUND;
    wbcDomainControllerInfo& answer = g_pRecorded->controllerAnswers.emplace_back();
    answer.dc_name = found->second.data();
    *ppInfo = HandOut(&answer);
    return WBC_ERR_SUCCESS;
}
void FakeFreeMemory(void*)
{
    ++g_pRecorded->iFreed;
}

NET_API_STATUS FakeNetapiInit(libnetapi_ctx** ppContext)
{
    static int iContext = 0;
    *ppContext = reinterpret_cast<libnetapi_ctx*>(&iContext);
    return 0;
}
NET_API_STATUS FakeNetapiNothing(libnetapi_ctx*)
{
    return 0;
}
NET_API_STATUS FakeSetDebuglevel(libnetapi_ctx*, const char*)
{
    return 0;
}
NET_API_STATUS FakeSetPassword(libnetapi_ctx*, const char* szPassword)
{
    g_pRecorded->netapiSettings.push_back(std::string("password '") + szPassword + "'");
    return 0;
}
NET_API_STATUS FakeSetUseKerberos(libnetapi_ctx*)
{
    g_pRecorded->netapiSettings.emplace_back("Kerberos required");
    return 0;
}
NET_API_STATUS FakeGetJoinInformation(const char*, const char** pszName, std::uint16_t* pType)
{
    *pszName = g_pRecorded->joinStatus == 0 ? HandOut(g_pRecorded->szJoinName) : nullptr;
    *pType = g_pRecorded->uJoinType;
    return g_pRecorded->joinStatus;
}
NET_API_STATUS FakeWkstaGetInfo(const char* szServer, std::uint32_t, std::uint8_t** ppBuffer)
{
    g_pRecorded->wkstaServers.emplace_back(szServer);
    if (g_pRecorded->whileAsked)
        g_pRecorded->whileAsked();
    *ppBuffer = g_pRecorded->wkstaStatus == 0 ? HandOut(reinterpret_cast<std::uint8_t*>(&g_pRecorded->wksta)) : nullptr;
    return g_pRecorded->wkstaStatus;
}
NET_API_STATUS FakeBufferFree(void*)
{
    ++g_pRecorded->iFreed;
    return 0;
}

WinbindDomainInfo Domain(const char* szShort, const char* szDns, std::uint32_t uType, std::uint32_t uTrustFlags,
                         std::uint32_t uDomainFlags = 0)
{
    WinbindDomainInfo domain{};
    domain.short_name = const_cast<char*>(szShort);
    domain.dns_name = const_cast<char*>(szDns);
    domain.sid.num_auths = 4;
    domain.trust_type = uType;
    domain.trust_flags = uTrustFlags;
    domain.domain_flags = uDomainFlags;
    return domain;
}

constexpr std::uint32_t kTransitive = WBC_DOMINFO_TRUST_TRANSITIVE;
constexpr std::uint32_t kIn = WBC_DOMINFO_TRUST_INCOMING;
constexpr std::uint32_t kOut = WBC_DOMINFO_TRUST_OUTGOING;

class SambaNetApiTest : public ::testing::Test
{
protected:
    SambaNetApiTest()
    {
        g_pRecorded = &m_recorded;
        // A member of CORP, as winbind 4.17 describes it: its own two local domains first.
        m_recorded.details.netbios_name = const_cast<char*>("MAILGW");
        m_recorded.details.netbios_domain = const_cast<char*>("CORP");
        m_recorded.details.dns_domain = const_cast<char*>("corp.example.com");
        m_recorded.domainInfos["CORP"] = {
            WBC_ERR_SUCCESS, Domain("CORP", "corp.example.com", WBC_DOMINFO_TRUSTTYPE_WKSTA, kTransitive,
                                    WBC_DOMINFO_DOMAIN_NATIVE | WBC_DOMINFO_DOMAIN_AD | WBC_DOMINFO_DOMAIN_PRIMARY)};
        m_recorded.domainInfos["PARTNER"] = {WBC_ERR_SUCCESS,
                                             Domain("PARTNER", "", WBC_DOMINFO_TRUSTTYPE_EXTERNAL, kOut)};
        m_recorded.trusts = {
            Domain("BUILTIN", "", WBC_DOMINFO_TRUSTTYPE_LOCAL, 0),
            Domain("MAILGW", "", WBC_DOMINFO_TRUSTTYPE_LOCAL, 0),
            Domain("CORP", "corp.example.com", WBC_DOMINFO_TRUSTTYPE_WKSTA, kTransitive | kIn | kOut),
            Domain("EMEA", "emea.corp.example.com", WBC_DOMINFO_TRUSTTYPE_IN_FOREST, kTransitive | kIn | kOut),
            Domain("PARTNER", "", WBC_DOMINFO_TRUSTTYPE_EXTERNAL, kOut),
            Domain("FABRIKAM", "fabrikam.example", WBC_DOMINFO_TRUSTTYPE_FOREST, kTransitive | kIn),
        };
        m_recorded.controllers = {{"corp.example.com", "\\\\dc1.corp.example.com"}};
        m_recorded.wksta.wki101_computername = "SQLBOX";
        m_recorded.wksta.wki101_langroup = "CORP";
    }
    ~SambaNetApiTest() override { g_pRecorded = nullptr; }

    // The backend over the recorded answers; either library may be missing.
    std::unique_ptr<CSambaNetApi> Backend(bool bWinbind = true, bool bNetapi = true, bool bSambaConfig = false,
                                          std::string strHostName = "mail-gateway-01.corp.example.com")
    {
        SambaSources sources;
        sources.loadWinbind = [bWinbind] {
            LoadedCalls<WinbindCalls> loaded;
            if (bWinbind)
                loaded.calls = WinbindCalls{FakeInterfaceDetails, FakeDomainInfo, FakeListTrusts,
                                            FakeLookupDomainController, FakeFreeMemory};
            return loaded;
        };
        sources.loadNetapi = [bNetapi] {
            LoadedCalls<NetapiCalls> loaded;
            if (bNetapi)
                loaded.calls =
                    NetapiCalls{FakeNetapiInit,     FakeNetapiNothing,      FakeSetDebuglevel, FakeSetPassword,
                                FakeSetUseKerberos, FakeGetJoinInformation, FakeWkstaGetInfo,  FakeBufferFree};
            return loaded;
        };
        sources.readDirectory = [](const DirectoryQuery& query) {
            g_pRecorded->directoryQueries.push_back(query.strController + " as " + query.strComputerPrincipal);
            return DirectoryReading{g_pRecorded->directoryTrusts, g_pRecorded->directoryNotes};
        };
        sources.sambaConfigFile = bSambaConfig ? m_folder.Write("smb.conf", "[global]\n") : m_folder.Path() / "none";
        sources.hostName = [strHostName] { return strHostName; };
        return std::make_unique<CSambaNetApi>(std::move(sources));
    }

    void WinbindStopped() { m_recorded.bWinbindRunning = false; }

    static std::wstring NetbiosName(INetApi& netapi)
    {
        wchar_t wszName[16] = {};
        DWORD nSize = 16;
        EXPECT_EQ(netapi.GetComputerNameExW(ComputerNameNetBIOS, wszName, &nSize), 0u);
        return std::wstring(wszName, nSize);
    }

    RecordedSamba m_recorded;
    testsupport::ScratchFolder m_folder;
};

struct ExpectedTrust
{
    const wchar_t* wszNetbios;
    const wchar_t* wszDns; // null: no DNS name
    ULONG ulFlags;
    ULONG ulType;
    ULONG ulAttributes;
};

void ExpectTrusts(const DomainTrustArray& trusts, const std::vector<ExpectedTrust>& expected)
{
    ASSERT_NE(trusts.Entries(), nullptr);
    ASSERT_EQ(trusts.Count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const DS_DOMAIN_TRUSTSW& trust = trusts.Entries()[i];
        SCOPED_TRACE(WideToNarrow(expected[i].wszNetbios));
        EXPECT_EQ(trust.NetbiosDomainName, std::optional<std::wstring>(expected[i].wszNetbios));
        EXPECT_EQ(trust.DnsDomainName,
                  expected[i].wszDns ? std::optional<std::wstring>(expected[i].wszDns) : std::optional<std::wstring>());
        EXPECT_EQ(trust.Flags, expected[i].ulFlags);
        EXPECT_EQ(trust.ParentIndex, 0u);
        EXPECT_EQ(trust.TrustType, expected[i].ulType);
        EXPECT_EQ(trust.TrustAttributes, expected[i].ulAttributes);
    }
}

} // namespace

TEST_F(SambaNetApiTest, WithoutADirectoryAMemberListsWinbindsDomainsButItsLocalOnes)
{
    const auto pNetApi = Backend();
    DomainTrustArray trusts;
    ASSERT_EQ(pNetApi->DsEnumerateDomainTrustsW(nullptr, DS_DOMAIN_VALID_FLAGS, trusts), 0u);
    ExpectTrusts(trusts, {
                             {L"CORP", L"corp.example.com",
                              DS_DOMAIN_PRIMARY | DS_DOMAIN_IN_FOREST | DS_DOMAIN_NATIVE_MODE, TRUST_TYPE_UPLEVEL, 0},
                             {L"EMEA", L"emea.corp.example.com",
                              DS_DOMAIN_IN_FOREST | DS_DOMAIN_DIRECT_OUTBOUND | DS_DOMAIN_DIRECT_INBOUND,
                              TRUST_TYPE_UPLEVEL, TRUST_ATTRIBUTE_WITHIN_FOREST},
                             {L"PARTNER", nullptr, DS_DOMAIN_DIRECT_OUTBOUND, TRUST_TYPE_DOWNLEVEL,
                              TRUST_ATTRIBUTE_NON_TRANSITIVE},
                             {L"FABRIKAM", L"fabrikam.example", DS_DOMAIN_DIRECT_INBOUND, TRUST_TYPE_UPLEVEL,
                              TRUST_ATTRIBUTE_FOREST_TRANSITIVE},
                         });
    EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
    EXPECT_EQ(pNetApi->TakeNotes(),
              (std::vector<std::wstring>{L"read as the test says",
                                         L"Trusts from winbind's list instead, which knows less than the directory"}));
}

TEST_F(SambaNetApiTest, OnlyTrustsWithAFlagAskedForAreListed)
{
    const auto pNetApi = Backend();
    DomainTrustArray trusts;
    ASSERT_EQ(pNetApi->DsEnumerateDomainTrustsW(L"", DS_DOMAIN_DIRECT_INBOUND, trusts), 0u);
    ASSERT_EQ(trusts.Count(), 2u);
    EXPECT_EQ(trusts.Entries()[0].NetbiosDomainName, L"EMEA");
    EXPECT_EQ(trusts.Entries()[1].NetbiosDomainName, L"FABRIKAM");
}

TEST_F(SambaNetApiTest, FailuresBecomeTheWindowsCodes)
{
    struct Case
    {
        const char* szName;
        std::function<void(RecordedSamba&)> arrange;
        bool bSambaConfig;
        DWORD dwExpected;
    };
    const Case cases[] = {
        {"not joined: winbind knows no primary domain", [](RecordedSamba& r) { r.domainInfos.erase("CORP"); }, false,
         ERROR_NO_TRUST_LSA_SECRET},
        {"winbind stopped, smb.conf says member", [](RecordedSamba& r) { r.bWinbindRunning = false; }, true,
         ERROR_NO_LOGON_SERVERS},
        {"winbind stopped, smb.conf says workgroup",
         [](RecordedSamba& r) {
             r.bWinbindRunning = false;
             r.uJoinType = NetSetupWorkgroupName;
         },
         true, ERROR_NO_TRUST_LSA_SECRET},
        {"winbind stopped, no smb.conf", [](RecordedSamba& r) { r.bWinbindRunning = false; }, false,
         ERROR_NO_TRUST_LSA_SECRET},
        {"no domain controller answers",
         [](RecordedSamba& r) { r.trusts[2].domain_flags |= WBC_DOMINFO_DOMAIN_OFFLINE; }, false,
         ERROR_NO_LOGON_SERVERS},
        {"winbind's answer is damaged", [](RecordedSamba& r) { r.listStatus = WBC_ERR_INVALID_RESPONSE; }, false,
         platform::ERROR_GEN_FAILURE},
        {"winbind runs out of memory", [](RecordedSamba& r) { r.detailsStatus = WBC_ERR_NO_MEMORY; }, false,
         platform::ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        RecordedSamba saved = m_recorded;
        c.arrange(m_recorded);
        DomainTrustArray trusts;
        EXPECT_EQ(Backend(true, true, c.bSambaConfig)->DsEnumerateDomainTrustsW(nullptr, DS_DOMAIN_VALID_FLAGS, trusts),
                  c.dwExpected);
        EXPECT_EQ(trusts.Count(), 0u);
        EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
        m_recorded = saved;
    }
}

TEST_F(SambaNetApiTest, FlagsOutsideTheSixKnownOnesOrNoneAreRefused)
{
    const auto pNetApi = Backend();
    DomainTrustArray trusts;
    EXPECT_EQ(pNetApi->DsEnumerateDomainTrustsW(nullptr, 0, trusts), ERROR_INVALID_FLAGS);
    EXPECT_EQ(pNetApi->DsEnumerateDomainTrustsW(nullptr, 0x40, trusts), ERROR_INVALID_FLAGS);
}

TEST_F(SambaNetApiTest, WithoutADirectoryAControllersTrustsAreWinbindsView)
{
    m_recorded.controllers["PARTNER"] = "pdc.partner"; // winbind may leave out the backslashes
    const auto pNetApi = Backend();
    std::unique_ptr<DOMAIN_CONTROLLER_INFOW> pController;
    ASSERT_EQ(pNetApi->DsGetDcNameW(L"CORP", DS_DIRECTORY_SERVICE_REQUIRED, pController), 0u);
    ASSERT_NE(pController, nullptr);
    EXPECT_EQ(pController->DomainControllerName, L"\\\\dc1.corp.example.com");
    EXPECT_EQ(pController->DomainName, L"corp.example.com");
    DomainTrustArray trusts;
    ASSERT_EQ(pNetApi->DsEnumerateDomainTrustsW(L"\\\\DC1.corp.example.com", DS_DOMAIN_PRIMARY, trusts), 0u);
    ExpectTrusts(trusts, {{L"CORP", L"corp.example.com",
                           DS_DOMAIN_PRIMARY | DS_DOMAIN_IN_FOREST | DS_DOMAIN_NATIVE_MODE, TRUST_TYPE_UPLEVEL, 0}});

    // A controller of a trusted domain that has no DNS name shows that domain as its own, and
    // nothing more.
    ASSERT_EQ(pNetApi->DsGetDcNameW(L"PARTNER", DS_DIRECTORY_SERVICE_REQUIRED, pController), 0u);
    EXPECT_EQ(pController->DomainControllerName, L"\\\\pdc.partner");
    EXPECT_EQ(pController->DomainName, L"PARTNER");
    ASSERT_EQ(pNetApi->DsEnumerateDomainTrustsW(L"\\\\pdc.partner", DS_DOMAIN_PRIMARY, trusts), 0u);
    ExpectTrusts(trusts, {{L"PARTNER", nullptr, DS_DOMAIN_PRIMARY | DS_DOMAIN_IN_FOREST, TRUST_TYPE_DOWNLEVEL, 0}});
    ASSERT_EQ(pNetApi->DsEnumerateDomainTrustsW(L"\\\\pdc.partner", DS_DOMAIN_DIRECT_OUTBOUND, trusts), 0u);
    EXPECT_EQ(trusts.Count(), 0u);

    EXPECT_EQ(pNetApi->DsEnumerateDomainTrustsW(L"\\\\never-named", DS_DOMAIN_PRIMARY, trusts), ERROR_BAD_NETPATH);
    EXPECT_EQ(pNetApi->DsGetDcNameW(L"NOWHERE", DS_DIRECTORY_SERVICE_REQUIRED, pController), ERROR_NO_SUCH_DOMAIN);
    EXPECT_EQ(pController, nullptr);
    EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
}

TEST_F(SambaNetApiTest, ControllersAreLookedUpByTheDomainsDnsName)
{
    // Winbind finds controllers by the domains' DNS names only, as where NetBIOS is disabled: a
    // lookup by the NetBIOS name fails unless Samba's cache still holds an earlier answer.
    m_recorded.domainInfos["EMEA"] = {
        WBC_ERR_SUCCESS, Domain("EMEA", "emea.corp.example.com", WBC_DOMINFO_TRUSTTYPE_IN_FOREST, kTransitive | kIn)};
    m_recorded.controllers["emea.corp.example.com"] = "\\\\dc4.emea.corp.example.com";
    m_recorded.controllers["fabrikam.example"] = "\\\\dc9.fabrikam.example";
    // A trusted domain that winbind does not list (it lists them only when told to scan them),
    // but the directory holds.
    m_recorded.directoryTrusts = std::vector<DS_DOMAIN_TRUSTSW>{
        {L"CORP", L"corp.example.com", 0x1D, 0, TRUST_TYPE_UPLEVEL, 0},
        {L"FABRIKAM", L"fabrikam.example", DS_DOMAIN_DIRECT_INBOUND, 0, TRUST_TYPE_UPLEVEL, 8},
    };
    const auto pNetApi = Backend();
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"CORP", L"\\\\dc1.corp.example.com", L"corp.example.com"},             // this computer's own
        {L"corp", L"\\\\dc1.corp.example.com", L"corp.example.com"},             // in any case
        {L"EMEA", L"\\\\dc4.emea.corp.example.com", L"emea.corp.example.com"},   // one winbind knows
        {L"FABRIKAM", L"\\\\dc9.fabrikam.example", L"fabrikam.example"},         // one the directory knows
        {L"fabrikam.example", L"\\\\dc9.fabrikam.example", L"fabrikam.example"}, // a DNS name as it is
    };
    for (const auto& [wszDomain, wszController, wszDnsName] : cases) {
        SCOPED_TRACE(WideToNarrow(wszDomain));
        std::unique_ptr<DOMAIN_CONTROLLER_INFOW> pController;
        ASSERT_EQ(pNetApi->DsGetDcNameW(wszDomain, DS_DIRECTORY_SERVICE_REQUIRED, pController), 0u);
        ASSERT_NE(pController, nullptr);
        EXPECT_EQ(pController->DomainControllerName, wszController);
        EXPECT_EQ(pController->DomainName, wszDnsName);
    }
    for (const std::string& strAsked : m_recorded.controllerDomains)
        EXPECT_NE(strAsked.find('.'), std::string::npos) << "looked up by the NetBIOS name " << strAsked;
    EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
}

TEST_F(SambaNetApiTest, TrustsComeFromTheDirectoryOfTheControllerAsked)
{
    m_recorded.controllers["fabrikam.example"] = "\\\\dc9.fabrikam.example";
    m_recorded.directoryTrusts = std::vector<DS_DOMAIN_TRUSTSW>{
        {L"CORP", L"corp.example.com", 0x1D, 0, TRUST_TYPE_UPLEVEL, 0},
        {L"EMEA", L"emea.corp.example.com", 0x23, 0, TRUST_TYPE_UPLEVEL, 0x20},
        {L"FABRIKAM", L"fabrikam.example", DS_DOMAIN_DIRECT_INBOUND, 0, TRUST_TYPE_UPLEVEL, 8},
    };
    const auto pNetApi = Backend();
    DomainTrustArray trusts;
    ASSERT_EQ(pNetApi->DsEnumerateDomainTrustsW(nullptr, DS_DOMAIN_VALID_FLAGS, trusts), 0u);
    ExpectTrusts(trusts, {{L"CORP", L"corp.example.com", 0x1D, TRUST_TYPE_UPLEVEL, 0},
                          {L"EMEA", L"emea.corp.example.com", 0x23, TRUST_TYPE_UPLEVEL, 0x20},
                          {L"FABRIKAM", L"fabrikam.example", DS_DOMAIN_DIRECT_INBOUND, TRUST_TYPE_UPLEVEL, 8}});
    // This computer's domain is read at one of its controllers, found by the domain's DNS name,
    // with this computer's own account.
    EXPECT_EQ(m_recorded.directoryQueries,
              std::vector<std::string>{"dc1.corp.example.com as MAILGW$@CORP.EXAMPLE.COM"});
    EXPECT_EQ(pNetApi->TakeNotes(), std::vector<std::wstring>{L"read as the test says"});

    std::unique_ptr<DOMAIN_CONTROLLER_INFOW> pController;
    ASSERT_EQ(pNetApi->DsGetDcNameW(L"fabrikam.example", DS_DIRECTORY_SERVICE_REQUIRED, pController), 0u);
    ASSERT_EQ(pNetApi->DsEnumerateDomainTrustsW(L"\\\\DC9.FABRIKAM.EXAMPLE", DS_DOMAIN_PRIMARY, trusts), 0u);
    EXPECT_EQ(m_recorded.directoryQueries.back(), "dc9.fabrikam.example as MAILGW$@CORP.EXAMPLE.COM");
    EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
}

TEST_F(SambaNetApiTest, ACountOfTrustsWithoutTheirListIsPassedOnAsBroken)
{
    m_recorded.bListWithoutArray = true;
    DomainTrustArray trusts;
    EXPECT_EQ(Backend()->DsEnumerateDomainTrustsW(nullptr, DS_DOMAIN_VALID_FLAGS, trusts), 0u);
    EXPECT_EQ(trusts.Count(), m_recorded.trusts.size());
    EXPECT_EQ(trusts.Entries(), nullptr);
}

TEST_F(SambaNetApiTest, AnotherComputerIsAskedWithKerberosAloneAndNeverForAPassword)
{
    WKSTA_INFO_101 wksta;
    ASSERT_EQ(Backend(true, true, true)->NetWkstaGetInfo101(L"\\\\SQLBOX", wksta), 0u);
    EXPECT_EQ(m_recorded.netapiSettings, (std::vector<std::string>{"password ''", "Kerberos required"}));
}

TEST_F(SambaNetApiTest, WhatLibnetapiPrintsIsANoteAndNeverTheProgramsOutput)
{
    m_recorded.whileAsked = [] {
        std::printf("session setup failed: NT_STATUS_INVALID_PARAMETER\n");
        std::fputs("Kerberos auth with 'root@CORP' to access 'SQLBOX' not possible\n", stderr);
        constexpr char kRaw[] = "written past stdio \x1b[2J\n";
        EXPECT_EQ(::write(STDERR_FILENO, kRaw, sizeof kRaw - 1), static_cast<ssize_t>(sizeof kRaw - 1));
    };
    m_recorded.wkstaStatus = 1003;
    const auto pNetApi = Backend(true, true, true);
    WKSTA_INFO_101 wksta;
    // What reaches this process's standard output and error while the call runs.
    CCapturedOutput reachedTheProgramsOutput;
    EXPECT_EQ(pNetApi->NetWkstaGetInfo101(L"\\\\SQLBOX", wksta), 1003u);
    EXPECT_EQ(reachedTheProgramsOutput.Release(), "");
    // stdio's buffer of standard output comes out last.
    EXPECT_EQ(
        pNetApi->TakeNotes(),
        (std::vector<std::wstring>{L"libnetapi printed: Kerberos auth with 'root@CORP' to access 'SQLBOX' not possible",
                                   L"libnetapi printed: written past stdio \\x1b[2J",
                                   L"libnetapi printed: session setup failed: NT_STATUS_INVALID_PARAMETER"}));
    EXPECT_EQ(pNetApi->TakeNotes(), std::vector<std::wstring>{});
}

TEST_F(SambaNetApiTest, AMemberWhoseWinbindIsStoppedIsStillAMember)
{
    // Its domain filter must not let every server in because winbind stopped: the domain
    // controller it then looks for cannot be found, and the browse fails instead.
    WinbindStopped();
    const auto pNetApi = Backend(true, true, true);
    PrimaryDomainInfo primary;
    ASSERT_EQ(pNetApi->QueryPrimaryDomain(primary), 0u);
    EXPECT_EQ(primary.strName, L"CORP");
    EXPECT_TRUE(primary.bHasSid);
    std::unique_ptr<DOMAIN_CONTROLLER_INFOW> pController;
    EXPECT_EQ(pNetApi->DsGetDcNameW(L"CORP", DS_DIRECTORY_SERVICE_REQUIRED, pController), ERROR_NO_LOGON_SERVERS);
}

TEST_F(SambaNetApiTest, ThisComputerAsWinbindNamesIt)
{
    const auto pNetApi = Backend();
    EXPECT_EQ(NetbiosName(*pNetApi), L"MAILGW");
    PrimaryDomainInfo primary;
    ASSERT_EQ(pNetApi->QueryPrimaryDomain(primary), 0u);
    EXPECT_EQ(primary.strName, L"CORP");
    EXPECT_TRUE(primary.bHasSid);
    WKSTA_INFO_101 wksta;
    ASSERT_EQ(pNetApi->NetWkstaGetInfo101(nullptr, wksta), 0u);
    EXPECT_EQ(wksta.wki101_computername, L"MAILGW");
    EXPECT_EQ(wksta.wki101_langroup, L"CORP");
    EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
}

TEST_F(SambaNetApiTest, WithoutWinbindTheComputerIsAWorkgroupMember)
{
    struct Case
    {
        const char* szName;
        bool bWinbindLibrary;
        bool bNetapiLibrary;
        bool bSambaConfig;
        const wchar_t* wszWorkgroup;
    };
    const Case cases[] = {
        {"no Samba at all", false, false, false, L"WORKGROUP"},
        {"winbind stopped, no smb.conf", true, true, false, L"WORKGROUP"},
        {"winbind stopped, smb.conf names the workgroup", true, true, true, L"OFFICE"},
        {"winbind stopped, smb.conf but no libnetapi", true, false, true, L"WORKGROUP"},
    };
    WinbindStopped();
    m_recorded.szJoinName = "OFFICE";
    m_recorded.uJoinType = NetSetupWorkgroupName;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        const auto pNetApi = Backend(c.bWinbindLibrary, c.bNetapiLibrary, c.bSambaConfig);
        EXPECT_EQ(NetbiosName(*pNetApi), L"MAIL-GATEWAY-01");
        PrimaryDomainInfo primary;
        ASSERT_EQ(pNetApi->QueryPrimaryDomain(primary), 0u);
        EXPECT_EQ(primary.strName, c.wszWorkgroup);
        EXPECT_FALSE(primary.bHasSid);
        WKSTA_INFO_101 wksta;
        ASSERT_EQ(pNetApi->NetWkstaGetInfo101(L"", wksta), 0u);
        EXPECT_EQ(wksta.wki101_langroup, c.wszWorkgroup);
        std::unique_ptr<DOMAIN_CONTROLLER_INFOW> pController;
        EXPECT_NE(pNetApi->DsGetDcNameW(L"CORP", DS_DIRECTORY_SERVICE_REQUIRED, pController), 0u);
        EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
    }
}

TEST_F(SambaNetApiTest, JoinedButNotAMemberWhenWinbindKnowsNoPrimaryDomain)
{
    m_recorded.details.netbios_domain = const_cast<char*>("OFFICE");
    const auto pNetApi = Backend();
    PrimaryDomainInfo primary;
    ASSERT_EQ(pNetApi->QueryPrimaryDomain(primary), 0u);
    EXPECT_EQ(primary.strName, L"OFFICE");
    EXPECT_FALSE(primary.bHasSid);
}

TEST_F(SambaNetApiTest, AnotherComputerSaysItsDomainThroughLibnetapi)
{
    WKSTA_INFO_101 wksta;
    EXPECT_EQ(Backend(true, true, false)->NetWkstaGetInfo101(L"\\\\SQLBOX", wksta), platform::ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Backend(true, false, true)->NetWkstaGetInfo101(L"\\\\SQLBOX", wksta), platform::ERROR_NOT_SUPPORTED);

    const auto pNetApi = Backend(true, true, true);
    ASSERT_EQ(pNetApi->NetWkstaGetInfo101(L"\\\\SQLBOX", wksta), 0u);
    EXPECT_EQ(wksta.wki101_computername, L"SQLBOX");
    EXPECT_EQ(wksta.wki101_langroup, L"CORP");
    EXPECT_EQ(m_recorded.wkstaServers, std::vector<std::string>{"SQLBOX"});
    m_recorded.wkstaStatus = ERROR_BAD_NETPATH;
    EXPECT_EQ(pNetApi->NetWkstaGetInfo101(L"\\\\GONE", wksta), ERROR_BAD_NETPATH);
    EXPECT_EQ(m_recorded.iFreed, m_recorded.iHandedOut);
}

TEST_F(SambaNetApiTest, AMembersDnsNameIsItsHostNameInItsDomain)
{
    const auto dnsName = [](INetApi& netapi) {
        wchar_t wszName[64] = {};
        DWORD nSize = 64;
        EXPECT_EQ(netapi.GetComputerNameExW(ComputerNameDnsFullyQualified, wszName, &nSize), 0u);
        return std::wstring(wszName, nSize);
    };
    const std::tuple<const char*, const char*, bool, const wchar_t*> cases[] = {
        {"a member, named by its host name alone", "mailgw", true, L"mailgw.corp.example.com"},
        {"a host name that is a DNS name already", "mailgw.corp.example.com", true, L"mailgw.corp.example.com"},
        {"a member whose winbind is stopped", "mailgw", false, L"mailgw"},
    };
    for (const auto& [szCase, szHostName, bWinbind, wszDnsName] : cases) {
        SCOPED_TRACE(szCase);
        m_recorded.bWinbindRunning = bWinbind;
        EXPECT_EQ(dnsName(*Backend(true, true, false, szHostName)), wszDnsName);
    }
}

TEST_F(SambaNetApiTest, ComputerNameAsksForRoomWhenTheBufferIsSmall)
{
    const auto pNetApi = Backend();
    wchar_t wszName[8] = {};
    DWORD nSize = 6;
    EXPECT_EQ(pNetApi->GetComputerNameExW(ComputerNameNetBIOS, wszName, &nSize), platform::ERROR_MORE_DATA);
    EXPECT_EQ(nSize, 7u); // "MAILGW" and its terminator
    nSize = 7;
    EXPECT_EQ(pNetApi->GetComputerNameExW(ComputerNameNetBIOS, wszName, &nSize), 0u);
    EXPECT_EQ(nSize, 6u);
    EXPECT_STREQ(wszName, L"MAILGW");
}

TEST(NetbiosNameFromHostName, TakesTheFirstLabelInUpperCaseUpToFifteenCharacters)
{
    EXPECT_EQ(NetbiosNameFromHostName("vm"), L"VM");
    EXPECT_EQ(NetbiosNameFromHostName("sql01.corp.example.com"), L"SQL01");
    EXPECT_EQ(NetbiosNameFromHostName("a-very-long-host-name"), L"A-VERY-LONG-HOS");
    EXPECT_EQ(NetbiosNameFromHostName(""), L"");
}

// The calls are looked up by name in the real libraries: a misspelt one would make every
// computer look like one without Samba.
TEST(SambaLibraries, TheInstalledLibrariesHaveEveryCallUsed)
{
    EXPECT_TRUE(LoadWinbindCalls().calls.has_value());
    if (!LoadNetapiCalls().pLibrary)
        GTEST_SKIP() << "libnetapi is not installed";
    EXPECT_TRUE(LoadNetapiCalls().calls.has_value());
}

// The same for the directory's libraries, which every machine that builds the project has.
TEST(DirectoryLibraries, TheInstalledLibrariesHaveEveryCallUsed)
{
    const DirectoryLibraries libraries = LoadDirectoryLibraries();
    EXPECT_TRUE(libraries.kerberos.calls.has_value());
    EXPECT_TRUE(libraries.gssapi.calls.has_value());
    EXPECT_TRUE(libraries.ldap.calls.has_value());
}
