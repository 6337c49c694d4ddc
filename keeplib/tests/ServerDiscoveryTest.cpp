// Finding SQL Server instances and classifying server names, over a network, a cluster and a
// browse that the tests describe: the list files written, the results and the traces.

#include "common/StringUtils.h"
#include "keeplib/Exports.h"
#include "platform/Win32Error.h"
#include "platform/browse/SqlBrowse.h"
#include "testsupport/FakeNetApi.h"
#include "testsupport/MemoryCluster.h"
#include "testsupport/RunProgram.h"
#include "testsupport/TraceCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

using namespace platform::netapi;
using namespace platform::browse;
using platform::Variant;
using testsupport::MemoryCluster;
using testsupport::MemoryResource;

namespace {

constexpr std::int32_t kRemote = 1;
constexpr std::int32_t kLocalComputer = 2;
constexpr std::int32_t kLocalCluster = 4;

// A browse driver that answers what the test says, and counts its calls.
class CFakeBrowseDriver : public IBrowseDriver
{
public:
    std::function<SQLRETURN(ConnectionState&, wchar_t*, SQLINTEGER, SQLINTEGER*)> answer;
    int iCalls = 0;

    SQLRETURN BrowseConnect(ConnectionState& connection, std::wstring_view connectionString, wchar_t* szOut,
                            SQLINTEGER cchOutMax, SQLINTEGER* pcchOut) override
    {
        ++iCalls;
        EXPECT_EQ(connectionString, L"DRIVER={SQL Server}");
        EXPECT_TRUE(connection.bBrowseCacheData);
        return answer(connection, szOut, cchOutMax, pcchOut);
    }

    // Answers the text, as much of it as fits, as a browse does.
    static SQLRETURN Text(const std::wstring& strText, wchar_t* szOut, SQLINTEGER cchOutMax, SQLINTEGER* pcchOut)
    {
        const std::size_t cchCopied = std::min(strText.size(), static_cast<std::size_t>(cchOutMax) - 1);
        std::copy_n(strText.begin(), cchCopied, szOut);
        szOut[cchCopied] = L'\0';
        *pcchOut = static_cast<SQLINTEGER>(strText.size());
        return SQL_NEED_DATA;
    }
};

MemoryResource SqlServerResource(const std::wstring& strName, Variant virtualServer, Variant instance)
{
    return {strName,
            L"SQL Server",
            {{L"VirtualServerName", std::move(virtualServer)}, {L"InstanceName", std::move(instance)}}};
}

class ServerDiscoveryTest : public ::testing::Test
{
protected:
    ServerDiscoveryTest() { ::setenv("VESTREL_REGISTRY_FILE", (m_folder.Path() / "none.reg").c_str(), 1); }
    ~ServerDiscoveryTest() override { ::unsetenv("VESTREL_REGISTRY_FILE"); }

    void Registry(const std::string& strText) { m_folder.Write("none.reg", strText); }

    // The browse answers this text (all of it, whatever the buffer).
    void BrowseAnswers(const std::wstring& strText)
    {
        m_pDriver->answer = [strText](ConnectionState&, wchar_t* szOut, SQLINTEGER cchOutMax, SQLINTEGER* pcchOut) {
            return CFakeBrowseDriver::Text(strText, szOut, cchOutMax, pcchOut);
        };
    }

    HRESULT Browse(std::int32_t lType, const wchar_t* wszDomain = nullptr)
    {
        const std::wstring strFile = NarrowToWide(ListFile().string());
        return KeeplibBrowseSQLServers(lType, strFile.c_str(), wszDomain);
    }
    std::filesystem::path ListFile() const { return m_folder.Path() / "servers.txt"; }
    std::string List() const { return testsupport::ReadFile(ListFile()); }

    static bool Contains(const std::vector<std::string>& lines, const std::string& strLine)
    {
        return std::find(lines.begin(), lines.end(), strLine) != lines.end();
    }

    testsupport::ScratchFolder m_folder;
    std::shared_ptr<testsupport::CFakeNetApi> m_pNetApi = std::make_shared<testsupport::CFakeNetApi>();
    CScopedNetApi m_scopedNetApi{m_pNetApi};
    std::shared_ptr<CFakeBrowseDriver> m_pDriver = std::make_shared<CFakeBrowseDriver>();
    CScopedBrowseDriver m_scopedDriver{m_pDriver};
};

} // namespace

TEST_F(ServerDiscoveryTest, NoKindAskedEmptiesTheFile)
{
    m_folder.Write("servers.txt", "old\n");
    EXPECT_EQ(Browse(0), S_OK);
    EXPECT_EQ(List(), "");
    EXPECT_EQ(m_pDriver->iCalls, 0);
}

TEST_F(ServerDiscoveryTest, AFileThatCannotBeOpenedFailsTheBrowse)
{
    const testsupport::TraceCapture trace;
    EXPECT_EQ(KeeplibBrowseSQLServers(kRemote, nullptr, nullptr), E_FAIL);
    const std::wstring strFolder = NarrowToWide(m_folder.Path().string());
    EXPECT_EQ(KeeplibBrowseSQLServers(kRemote, strFolder.c_str(), nullptr), E_FAIL);
    const std::vector<std::string> messages = trace.Messages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "ERR: Failed to open file for writing."), 2);
    EXPECT_EQ(m_pDriver->iCalls, 0);
}

TEST_F(ServerDiscoveryTest, RemoteServersAreListedOnceEachSortedWithoutThoseOfThisComputerOrCluster)
{
    MemoryCluster cluster;
    cluster.groups = {{L"G", {{L"N", L"Network Name", {{L"Name", Variant::String(L"VSQL")}}}}}};
    cluster.nodes = {L"NODE1"};
    const testsupport::CScopedMemoryCluster scopedCluster(cluster);
    BrowseAnswers(
        L"Server={SQL02,sql01,VELHOST\\X,SQL01\\INST,vsql\\A,node1,SQL02,(local),Zeta,Ärger\\Ω};UID:Login ID=?");
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kRemote), S_OK);
    EXPECT_EQ(List(), "SQL01\\INST\nSQL02\nZeta\nsql01\n\xC3\x84rger\\\xCE\xA9\n");
    EXPECT_TRUE(Contains(trace.Messages(), "INF: Adding SQL02 failed - it already exists in the output values"));
    EXPECT_TRUE(Contains(trace.Messages(), "INF: Not in a domain, allow remote DB"));
    EXPECT_EQ(m_pDriver->iCalls, 1);
}

TEST_F(ServerDiscoveryTest, OnlyTheFirstBraceListCountsAndAnUnclosedOneLosesItsLastItem)
{
    const std::pair<std::wstring, std::string> cases[] = {
        {L"Server=", ""},
        {L"no list here", ""},
        {L"Server={A,B", "A\n"},
        {L"Server={A,B};Other={C}", "A\nB\n"},
        {L"Server={ A ,B}", " A \nB\n"},
    };
    for (const auto& [strText, strList] : cases) {
        BrowseAnswers(strText);
        EXPECT_EQ(Browse(kRemote), S_OK);
        EXPECT_EQ(List(), strList) << WideToNarrow(strText);
    }
}

TEST_F(ServerDiscoveryTest, InADomainOnlyServersOfTheTrustedDomainAreListed)
{
    m_pNetApi->primaryDomain = {L"CORP", true};
    m_pNetApi->workgroups = {{L"", L"CORP"}, {L"SQL01", L"corp"}, {L"SQL02", L"EMEA"}, {L"SQL03", L"CORP"}};
    m_pNetApi->controllers = {{L"CORP", L"\\\\DC1"}, {L"EMEA", L"\\\\DC2"}};
    m_pNetApi->trustAnswers = {
        {L"\\\\DC1", {0, DomainTrustArray({{L"CORP", L"corp.example.com", DS_DOMAIN_PRIMARY, 0, 2, 0}})}},
        {L"\\\\DC2", {0, DomainTrustArray({{L"EMEA", L"emea.example.com", DS_DOMAIN_PRIMARY, 0, 2, 0}})}},
    };
    BrowseAnswers(L"Server={SQL01\\A,SQL02,SQL03,UNKNOWN}");
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kRemote), S_OK);
    EXPECT_EQ(List(), "SQL01\\A\nSQL03\n");
    EXPECT_TRUE(Contains(trace.Messages(), "ERR: Failed to retrieve domain for SQL Server"));
    EXPECT_TRUE(Contains(trace.Messages(), "INF: bstrServerDomain=EMEA"));

    EXPECT_EQ(Browse(kRemote, L"EMEA"), S_OK);
    EXPECT_EQ(List(), "SQL02\n");
    // The trusts of each domain were enumerated once per browse.
    const auto& calls = m_pNetApi->Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"DsEnumerateDomainTrustsW(\\\\DC1, 0x8)"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"DsEnumerateDomainTrustsW(\\\\DC2, 0x8)"), 1);
}

TEST_F(ServerDiscoveryTest, AServerListedByAShortNameIsAskedAgainByItsNameInTheDomainKept)
{
    // A computer of another domain cannot be asked by its short name (the caller's Kerberos
    // ticket for it would name it in the caller's own domain); in the domain the browse keeps it
    // has a DNS name of that domain.
    m_pNetApi->primaryDomain = {L"CORP", true};
    m_pNetApi->workgroups = {{L"", L"CORP"}, {L"SQL7.partner.example", L"PARTNER"}, {L"SQL8", L"PARTNER"}};
    m_pNetApi->controllers = {{L"PARTNER", L"\\\\dc9.partner.example"}};
    m_pNetApi->domainDnsNames = {{L"PARTNER", L"partner.example"}};
    m_pNetApi->trustAnswers = {{L"\\\\dc9.partner.example",
                                {0, DomainTrustArray({{L"PARTNER", L"partner.example", DS_DOMAIN_PRIMARY, 0, 2, 0}})}}};
    BrowseAnswers(L"Server={SQL7\\A,SQL8,SQL9,sql10.other.example}");
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kRemote, L"PARTNER"), S_OK);
    EXPECT_EQ(List(), "SQL7\\A\nSQL8\n");
    const auto& messages = trace.Messages();
    EXPECT_TRUE(Contains(messages, "INF: SQL7 did not answer by its short name, asking SQL7.partner.example"));
    EXPECT_TRUE(Contains(messages, "INF: SQL9 did not answer by its short name, asking SQL9.partner.example"));
    EXPECT_TRUE(Contains(messages, "ERR: Leaving out SQL9: its computer could not be asked which domain it belongs "
                                   "to (it is asked with the caller's Kerberos ticket, by the name listed or by that "
                                   "name in the domain kept)"));
    // A name that is already a DNS name is asked once, as it is; one that answers once.
    const auto& calls = m_pNetApi->Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), L"NetWkstaGetInfo101(\\\\sql10.other.example)"), 1);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::wstring& strCall) {
                                return strCall.find(L"sql10.other.example.") != std::wstring::npos;
                            }),
              0);
    EXPECT_EQ(
        std::count_if(calls.begin(), calls.end(),
                      [](const std::wstring& strCall) { return strCall.starts_with(L"NetWkstaGetInfo101(\\\\SQL8"); }),
        1);
}

TEST_F(ServerDiscoveryTest, WhatTheNetworkAnswersRestOnIsTraced)
{
    m_pNetApi->primaryDomain = {L"CORP", true};
    m_pNetApi->workgroups = {{L"", L"CORP"}, {L"SQL01", L"CORP"}};
    m_pNetApi->controllers = {{L"CORP", L"\\\\DC1"}};
    m_pNetApi->trustAnswers = {
        {L"\\\\DC1", {0, DomainTrustArray({{L"CORP", L"corp.example.com", DS_DOMAIN_PRIMARY, 0, 2, 0}})}}};
    const std::vector<std::wstring> notes{
        L"Trusts from the directory of dc1.corp.example.com over LDAP, as VELHOST$@CORP.EXAMPLE.COM",
        L"libnetapi printed: session setup failed: NT_STATUS_INVALID_PARAMETER"};
    m_pNetApi->notes = notes;
    BrowseAnswers(L"Server={SQL01}");
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kRemote), S_OK);
    const auto& messages = trace.Messages();
    for (const std::wstring& strNote : notes)
        EXPECT_EQ(std::count(messages.begin(), messages.end(), "INF: " + WideToNarrow(strNote)), 1);
}

TEST_F(ServerDiscoveryTest, ADomainWhoseControllerCannotBeFoundEndsTheBrowse)
{
    m_pNetApi->primaryDomain = {L"CORP", true};
    m_pNetApi->workgroups = {{L"", L"CORP"}};
    BrowseAnswers(L"Server={SQL01}");
    m_folder.Write("servers.txt", "old\n");
    EXPECT_EQ(Browse(kRemote), E_FAIL);
    EXPECT_EQ(List(), "");
}

TEST_F(ServerDiscoveryTest, ADriverThatAlwaysWantsMoreRoomIsCalledAHundredTimes)
{
    m_pDriver->answer = [](ConnectionState&, wchar_t* szOut, SQLINTEGER cchOutMax, SQLINTEGER* pcchOut) {
        szOut[0] = L'\0';
        *pcchOut = cchOutMax + 10;
        return SQL_NEED_DATA;
    };
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kRemote), E_FAIL);
    EXPECT_EQ(m_pDriver->iCalls, 100);
    EXPECT_TRUE(Contains(trace.Messages(), "ERR: Retried too many times."));
}

TEST_F(ServerDiscoveryTest, ATextThatFillsTheBufferExactlyIsAskedForAgain)
{
    // 3000 characters do not fit a buffer of 3000 with the terminator.
    std::wstring strText = L"Server={";
    strText += std::wstring(3000 - strText.size() - 3, L'S') + L",Z}";
    ASSERT_EQ(strText.size(), 3000u);
    BrowseAnswers(strText);
    EXPECT_EQ(Browse(kRemote), S_OK);
    EXPECT_EQ(m_pDriver->iCalls, 2);
    EXPECT_EQ(List(), std::string(2989, 'S') + "\nZ\n");
}

TEST_F(ServerDiscoveryTest, AFailedBrowseIsTracedWithItsDiagnostics)
{
    m_pDriver->answer = [](ConnectionState& connection, wchar_t*, SQLINTEGER, SQLINTEGER*) {
        connection.pDiagnostics->push_back({L"08001", 11, L"No socket for the browse"});
        return SQL_ERROR;
    };
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kRemote), E_FAIL);
    EXPECT_TRUE(Contains(trace.Messages(), "ERR: CSqlHDbc.SQLBrowseConnect failed."));
    EXPECT_TRUE(Contains(trace.Messages(), "ERR: STATE=08001,CODE=11,ERR=No socket for the browse."));
}

TEST_F(ServerDiscoveryTest, ClusteredInstancesAreNamedByTheirVirtualServer)
{
    MemoryCluster cluster;
    cluster.groups = {
        {L"SQL A", {SqlServerResource(L"SQL Server (A)", Variant::String(L"VSQLA"), Variant::String(L"MSSQLSERVER"))}},
        {L"SQL B",
         {SqlServerResource(L"SQL Server (B)", Variant::String(L"VSQLB"), Variant::String(L"INST")),
          // The default instance's name is compared with its case.
          SqlServerResource(L"SQL Server (C)", Variant::String(L"VSQLC"), Variant::String(L"mssqlserver")),
          SqlServerResource(L"SQL Server (D)", Variant::Int32(1), Variant::String(L"INST")),
          {L"Agent", L"SQL Server Agent", {}}}},
    };
    const testsupport::CScopedMemoryCluster scopedCluster(cluster);
    EXPECT_EQ(Browse(kLocalCluster), S_OK);
    EXPECT_EQ(List(), "VSQLA\nVSQLB\\INST\nVSQLC\\mssqlserver\n");
}

TEST_F(ServerDiscoveryTest, AFailingClusterCallEndsTheBrowseWithAnEmptyFile)
{
    Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\MSSQLServer\\MSSQLServer\\CurrentVersion]\r\n");
    // The line carries the file that checked the call.
    const std::tuple<std::string, std::string, std::string> failures[] = {
        {"ISClusProperties->get_Item",
         "ERR: ISClusProperties->get_Item(VirtualServerName) failed with hr=(0x80070005).", "ClusterInstances.cpp"},
        {"ISClusProperty->get_Value", "ERR: ISClusProperty->get_Value(VirtualServerName) failed with hr=(0x80070005).",
         "ClusterInstances.cpp"},
        {"ISClusResource->get_TypeName", "ERR: ISClusResource->get_TypeName failed with hr=(0x80070005).",
         "ClusterWalk.cpp     "},
    };
    for (const auto& [strCall, strTrace, strFileColumn] : failures) {
        MemoryCluster cluster;
        cluster.groups = {{L"G", {SqlServerResource(L"S", Variant::String(L"V"), Variant::String(L"I"))}}};
        cluster.failures[strCall] = HRESULT_FROM_WIN32(5);
        const testsupport::CScopedMemoryCluster scopedCluster(cluster);
        const testsupport::TraceCapture trace;
        EXPECT_EQ(Browse(kLocalComputer | kLocalCluster), HRESULT_FROM_WIN32(5)) << strCall;
        EXPECT_EQ(List(), "");
        EXPECT_EQ(trace.FileColumnOf(strTrace), strFileColumn) << strCall;
    }
    // Without a cluster, the same call lists this computer's default instance alone.
    EXPECT_EQ(Browse(kLocalComputer | kLocalCluster), S_OK);
    EXPECT_EQ(List(), "VELHOST\n");
}

TEST_F(ServerDiscoveryTest, ValidationAcceptsOnlyTheKindsAsked)
{
    MemoryCluster cluster;
    cluster.groups = {{L"G", {{L"N", L"Network Name", {{L"Name", Variant::String(L"VNAME")}}}}}};
    cluster.nodes = {L"VELHOST", L"NODE2"};
    const testsupport::CScopedMemoryCluster scopedCluster(cluster);
    struct Case
    {
        std::int32_t lType;
        const wchar_t* wszServer;
        HRESULT hr;
    };
    const Case cases[] = {
        {0, L"OTHER", E_INVALIDARG},
        {0, L"(local)", E_INVALIDARG},
        {2, L"(local)", S_OK},
        {2, L"(local)\\INST", S_OK},
        {2, L"velhost", S_OK},
        {2, L"VELHOST\\X", S_OK},
        {1, L"VELHOST", E_INVALIDARG},
        {1, L"OTHER", S_OK},
        {4, L"VNAME", S_OK},
        {4, L"vname\\INST", S_OK},
        {4, L"NODE2", E_INVALIDARG},
        {5, L"NODE2", S_OK},
        {3, L"OTHER;VELHOST", S_OK},
        {1, L"OTHER;VELHOST", E_INVALIDARG},
        {2, L"VELHOST;OTHER", E_INVALIDARG},
        {6, L"VELHOST;VNAME", S_OK},
        {1, L"", S_OK},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeeplibValidateSQLServerName(c.lType, c.wszServer), c.hr)
            << c.lType << " " << WideToNarrow(c.wszServer);
}

TEST_F(ServerDiscoveryTest, ADomainMembersDnsNameIsThisComputer)
{
    m_pNetApi->primaryDomain = {L"CORP", true};
    m_pNetApi->strDnsComputerName = L"velhost.corp.example.com";
    const std::pair<std::int32_t, HRESULT> cases[] = {{2, S_OK}, {1, E_INVALIDARG}};
    for (const auto& [lType, hr] : cases) {
        EXPECT_EQ(KeeplibValidateSQLServerName(lType, L"VELHOST.corp.example.com\\INST"), hr) << lType;
        EXPECT_EQ(KeeplibValidateSQLServerName(lType, L"velhost.corp.example.com"), hr) << lType;
    }
    EXPECT_EQ(KeeplibValidateSQLServerName(2, L"velhost.corp.example"), E_INVALIDARG);
}

TEST_F(ServerDiscoveryTest, ValidationOfAllKindsLooksAtNothing)
{
    m_pNetApi->dwComputerNameError = platform::ERROR_NOT_SUPPORTED;
    EXPECT_EQ(KeeplibValidateSQLServerName(7, L""), S_OK);
    EXPECT_EQ(KeeplibValidateSQLServerName(-1, L"anything"), S_OK);
    EXPECT_TRUE(m_pNetApi->Calls().empty());
    const testsupport::TraceCapture trace;
    EXPECT_EQ(KeeplibValidateSQLServerName(2, L"(local)"), HRESULT_FROM_WIN32(platform::ERROR_NOT_SUPPORTED));
    EXPECT_EQ(trace.FileColumnOf("ERR: CLocalComputerNames.Init failed with hr=(0x80070032)."), "ServerNameValidation");
}

TEST_F(ServerDiscoveryTest, ARemoteBrowseThatCannotTellThisComputersDomainFailsWithItsCode)
{
    m_pNetApi->dwWorkstationError = ERROR_BAD_NETPATH;
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kRemote), E_FAIL);
    EXPECT_EQ(List(), "");
    EXPECT_EQ(trace.FileColumnOf("ERR: CLocalComputerNames.Init failed with hr=(0x80004005)."), "RemoteInstances.cpp ");
}

TEST_F(ServerDiscoveryTest, LocalTypeNeedsBothPointersBeforeTheRegistry)
{
    std::int32_t lType = 99;
    EXPECT_EQ(KeeplibGetLocalSqlServerType(L"INST", nullptr), E_POINTER);
    EXPECT_EQ(KeeplibGetLocalSqlServerType(nullptr, &lType), E_POINTER);
    EXPECT_EQ(lType, 99);
    Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\INST1\\MSSQLServer\\CurrentVersion]\r\n");
    EXPECT_EQ(KeeplibGetLocalSqlServerType(L"inst1", &lType), S_OK);
    EXPECT_EQ(lType, 2);
}

// Administrators and support read these trace texts as they stand, misspelling and all.
TEST_F(ServerDiscoveryTest, SkippedServiceEntriesAreTracedInTheirOwnWords)
{
    const std::string strSqlServer = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\";
    std::string strRegistry;
    for (const auto& [strSubkey, strParameters] :
         {std::pair<std::string, std::string>{"MSAS.1", "AS x"}, {"MSRS.1", "RS x"}, {"OLAP.1", "OLAP x"}}) {
        // The collector is asked only about a key that names its instance.
        strRegistry += strSqlServer + strSubkey + "]\r\n@=\"INST\"\r\n" + strSqlServer + strSubkey +
                       "\\MSSQLServer\\CurrentVersion]\r\n" + strSqlServer + strSubkey +
                       "\\CPE]\r\n\"CollectorParameters\"=\"" + strParameters + "\"\r\n";
    }
    Registry(strRegistry);
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Browse(kLocalComputer), S_OK);
    EXPECT_EQ(List(), "");
    for (const char* szMessage :
         {"INF: Enumerating MicrosoftSQLServer key 'MSAS.1.'", "INF: Skipping anaysis services entry",
          "INF: Skipping reporting services entry", "INF: Skipping OLAP entry"})
        EXPECT_TRUE(Contains(trace.Messages(), szMessage)) << szMessage;
}
