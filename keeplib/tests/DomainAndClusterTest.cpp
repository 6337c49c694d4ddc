// The domain and cluster knowledge of the library, over a network and a cluster the tests
// describe: names, classification, domain membership, trusts and the traces of failures.

#include "common/ComError.h"
#include "common/Exceptions.h"
#include "common/StringUtils.h"
#include "discovery/DomainMembership.h"
#include "discovery/DomainUtils.h"
#include "discovery/GetComputerClusterName.h"
#include "discovery/LocalComputerNames.h"
#include "platform/Win32Error.h"
#include "testsupport/FakeNetApi.h"
#include "testsupport/MemoryCluster.h"
#include "testsupport/TraceCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace Keeplibs;
using namespace platform::netapi;
using platform::Variant;
using testsupport::MemoryCluster;
using testsupport::MemoryGroup;
using testsupport::MemoryResource;

namespace {

class DomainAndClusterTest : public ::testing::Test
{
protected:
    std::shared_ptr<testsupport::CFakeNetApi> m_pNetApi = std::make_shared<testsupport::CFakeNetApi>();
    CScopedNetApi m_scopedNetApi{m_pNetApi};

    // The HRESULT of what the call throws, or S_OK.
    template <class Call> static HRESULT Thrown(Call call)
    {
        try {
            call();
            return S_OK;
        } catch (const UTIL::COM::_com_error& error) {
            return error.Error();
        }
    }

    static bool Contains(const std::vector<std::string>& lines, const std::string& strLine)
    {
        return std::find(lines.begin(), lines.end(), strLine) != lines.end();
    }
};

MemoryResource NetworkName(const std::wstring& strResource, Variant name)
{
    return {strResource, L"Network Name", {{L"Name", std::move(name)}}};
}

// A cluster of two nodes with two network names in two groups, and other resources besides.
MemoryCluster TwoNodeCluster()
{
    MemoryCluster cluster;
    cluster.groups = {
        {L"Cluster Group",
         {NetworkName(L"Cluster Name", Variant::String(L"VCLUSTER")), {L"Disk Q:", L"Physical Disk", {}}}},
        {L"SQL Group",
         {NetworkName(L"SQL Network Name", Variant::String(L"VSQL")),
          NetworkName(L"Broken Name", Variant::Int32(7)), // not a string: ignored
          {L"SQL Server", L"SQL Server", {{L"VirtualServerName", Variant::String(L"VSQL")}}}}},
    };
    cluster.nodes = {L"NODE1", L"NODE2"};
    return cluster;
}

} // namespace

TEST(MatchServerName, TiesANameToItselfOrToItsInstancesWithoutRegardToCase)
{
    struct Case
    {
        const wchar_t* wszName;
        const wchar_t* wszServer;
        bool bMatch;
    };
    const Case cases[] = {
        {L"SQLBOX", L"sqlbox", true},
        {L"SQLBOX", L"SQLBOX\\INST1", true},
        {L"SQLBOX", L"SQLBOX2", false},
        {L"SQLBOX", L"SQL", false},
        {L"(local)", L"(LOCAL)\\INST", true},
        {L"(local)", L"(local)x", false},
        {L"", L"", false},
        {L"SQLBOX", L"", false},
        {nullptr, L"SQLBOX", false},
        {L"SQLBOX", nullptr, false},
        {L"SQLBOX", L"SQLBOX\\", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchServerName(c.wszName, c.wszServer), c.bMatch)
            << WideToNarrow(c.wszName ? c.wszName : L"(null)") << " ~ "
            << WideToNarrow(c.wszServer ? c.wszServer : L"(null)");
}

TEST_F(DomainAndClusterTest, ComputerNameGrowsItsBufferByChunksUntilTheNameFits)
{
    m_pNetApi->strComputerName = std::wstring(20, L'N'); // longer than NetBIOS allows, as only a fake can say
    const testsupport::TraceCapture trace;
    EXPECT_EQ(UTIL::SERVERNAME::GetComputerClusterName(ComputerNameNetBIOS), std::wstring(20, L'N'));
    const std::vector<std::string> expected = {
        "INF: + Entering Function : UTIL::SERVERNAME::GetComputerClusterName()",
        "INF: Allocate initial buffer",
        "INF: dwBufferSize=16",
        "INF: bResult=0",
        "INF: dwError=234",
        "INF: Add a chunk to the buffer",
        "INF: dwBufferSize=1040",
        "INF: bResult=1",
        "INF: Returning, vecBuffer='NNNNNNNNNNNNNNNNNNNN'",
        "INF: + Leaving Function : UTIL::SERVERNAME::GetComputerClusterName()",
    };
    EXPECT_EQ(trace.Messages(), expected);
}

TEST_F(DomainAndClusterTest, ComputerNameFailureIsAWindowsException)
{
    m_pNetApi->dwComputerNameError = platform::ERROR_NOT_SUPPORTED;
    try {
        UTIL::SERVERNAME::GetComputerClusterName(ComputerNameNetBIOS);
        ADD_FAILURE() << "no exception";
    } catch (const UTIL::ERR::CWindowsException& error) {
        EXPECT_STREQ(error.what(), "GetComputerNameExT, dwError = 50");
    }
}

TEST_F(DomainAndClusterTest, InitReadsTheNamesAndTheClusterAndClassifiesServerNames)
{
    m_pNetApi->strComputerName = L"MAILGW-FIFTEEN1"; // the longest NetBIOS name fits with its terminator
    const testsupport::CScopedMemoryCluster cluster(TwoNodeCluster());
    CLocalComputerNames names;
    ASSERT_EQ(names.Init(), S_OK);

    struct Case
    {
        const wchar_t* wszServer;
        bool bLocal;
        bool bCluster;
        bool bNode;
    };
    const Case cases[] = {
        {L"(local)", true, false, false},
        {L"(LOCAL)\\INST", true, false, false},
        {L"(local)x", false, false, false},
        {L"mailgw-fifteen1\\SQL", true, false, false},
        {L"MAILGW-FIFTEEN", false, false, false},
        {L"VSQL\\INST", false, true, false},
        {L"vcluster", false, true, false},
        {L"node1", false, false, true},
        {L"NODE2\\X", false, false, true},
        {L"OTHER", false, false, false},
        {L"7", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToNarrow(c.wszServer));
        EXPECT_EQ(names.IsLocalComputer(c.wszServer), c.bLocal);
        EXPECT_EQ(names.IsLocalCluster(c.wszServer), c.bCluster);
        EXPECT_EQ(names.IsClusterNode(c.wszServer), c.bNode);
    }
}

TEST_F(DomainAndClusterTest, NoClusterSoftwareOrNoClusterIsNoFailure)
{
    {
        CLocalComputerNames names; // Linux: the cluster object cannot be made
        ASSERT_EQ(names.Init(), S_OK);
        EXPECT_FALSE(names.IsLocalCluster(L"VSQL"));
        EXPECT_TRUE(names.IsLocalComputer(L"velhost"));
    }
    MemoryCluster notANode = TwoNodeCluster();
    notANode.hrOpen = HRESULT_FROM_WIN32(1060); // the cluster service is not installed
    const testsupport::CScopedMemoryCluster cluster(notANode);
    CLocalComputerNames names;
    ASSERT_EQ(names.Init(), S_OK);
    EXPECT_FALSE(names.IsLocalCluster(L"VSQL"));
    EXPECT_FALSE(names.IsClusterNode(L"NODE1"));
}

TEST_F(DomainAndClusterTest, AFailingClusterCallIsTracedByNameAndEndsInit)
{
    // The line carries the file that checked the call: the walk over groups, resources and
    // collections, or the reading of the names.
    const std::string kWalk = "ClusterWalk.cpp     ";
    const std::string kCollection = "ClusterWalk.h       ";
    const std::string kNames = "LocalComputerNames.c";
    const std::tuple<std::string, std::string, std::string> calls[] = {
        {"ISCluster->get_ResourceGroups", "ERR: ISCluster->get_ResourceGroups failed with hr=(0x80070005).", kWalk},
        {"ISClusResGroups->get_Count", "ERR: ISClusResGroups->get_Count failed with hr=(0x80070005).", kCollection},
        {"ISClusResGroups->get_Item", "ERR: ISClusResGroups->get_Item failed with hr=(0x80070005).", kCollection},
        {"ISClusResGroup->get_Resources", "ERR: ISClusResGroup->get_Resources failed with hr=(0x80070005).", kWalk},
        {"ISClusResGroupResources->get_Count", "ERR: ISClusResGroupResources->get_Count failed with hr=(0x80070005).",
         kCollection},
        {"ISClusResGroupResources->get_Item", "ERR: ISClusResGroupResources->get_Item failed with hr=(0x80070005).",
         kCollection},
        {"ISClusResource->get_TypeName", "ERR: ISClusResource->get_TypeName failed with hr=(0x80070005).", kWalk},
        {"ISClusResource->get_PrivateProperties",
         "ERR: ISClusResource->get_PrivateProperties failed with hr=(0x80070005).", kNames},
        {"ISClusProperties->get_Item", "ERR: ISClusProperties->get_Item failed with hr=(0x80070005).", kNames},
        {"ISClusProperty->get_Value", "ERR: ISClusProperty->get_Value failed with hr=(0x80070005).", kNames},
        {"ISCluster->get_Nodes", "ERR: ISCluster->get_Nodes failed with hr=(0x80070005).", kNames},
        {"ISClusNodes->get_Count", "ERR: ISClusNodes->get_Count failed with hr=(0x80070005).", kCollection},
        {"ISClusNodes->get_Item", "ERR: ISClusNodes->get_Item failed with hr=(0x80070005).", kCollection},
        {"ISClusNode->get_Name", "ERR: ISClusNode->get_Name failed with hr=(0x80070005).", kNames},
    };
    for (const auto& [strCall, strTrace, strFileColumn] : calls) {
        SCOPED_TRACE(strCall);
        MemoryCluster failing = TwoNodeCluster();
        failing.failures[strCall] = HRESULT_FROM_WIN32(5);
        const testsupport::CScopedMemoryCluster cluster(failing);
        const testsupport::TraceCapture trace;
        CLocalComputerNames names;
        EXPECT_EQ(names.Init(), HRESULT_FROM_WIN32(5));
        EXPECT_EQ(trace.FileColumnOf(strTrace), strFileColumn);
        // What was found before the failure stays.
        EXPECT_EQ(names.IsLocalCluster(L"VCLUSTER"),
                  strCall.starts_with("ISClusNode") || strCall == "ISCluster->get_Nodes");
    }
}

TEST_F(DomainAndClusterTest, InitFailsWithTheComputerNameOrTheDomainFailure)
{
    m_pNetApi->dwComputerNameError = platform::ERROR_NOT_SUPPORTED;
    EXPECT_EQ(CLocalComputerNames().Init(), HRESULT_FROM_WIN32(platform::ERROR_NOT_SUPPORTED));

    m_pNetApi->dwComputerNameError = 0;
    m_pNetApi->dwWorkstationError = ERROR_BAD_NETPATH;
    const testsupport::TraceCapture trace;
    EXPECT_EQ(CLocalComputerNames().Init(), E_FAIL);
    EXPECT_TRUE(Contains(trace.Messages(), "WAR: NetWkstaGetInfo failed 53."));
    EXPECT_EQ(trace.FileColumnOf("ERR: GetSQLServerDomainName failed with hr=(0x80004005)."), "LocalComputerNames.c");
}

TEST_F(DomainAndClusterTest, TrustedDomainIsTheGivenOneOrThisComputers)
{
    m_pNetApi->workgroups[L""] = L"CORP";
    CLocalComputerNames names;
    ASSERT_EQ(names.Init(), S_OK);
    std::wstring strDomain;
    names.GetTrustedDomain(L"EMEA", strDomain);
    EXPECT_EQ(strDomain, L"EMEA");
    names.GetTrustedDomain(nullptr, strDomain);
    EXPECT_EQ(strDomain, L"CORP");
    names.GetTrustedDomain(L"", strDomain);
    EXPECT_EQ(strDomain, L"CORP");

    m_pNetApi->workgroups[L""] = L"";
    CLocalComputerNames nameless;
    ASSERT_EQ(nameless.Init(), S_OK);
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Thrown([&] { nameless.GetTrustedDomain(L"", strDomain); }), E_FAIL);
    EXPECT_TRUE(Contains(trace.Messages(), "ERR: Failed 'wstrTrustedDomain.empty()' : Win32 error 0x80004005"));
}

TEST_F(DomainAndClusterTest, ServerDomainIsAskedOfTheServersComputer)
{
    m_pNetApi->workgroups = {{L"", L"OFFICE"}, {L"SQLBOX", L"CORP"}};
    std::wstring strDomain;
    EXPECT_EQ(GetSQLServerDomainName(L"SQLBOX\\INST1", strDomain), S_OK);
    EXPECT_EQ(strDomain, L"CORP");
    EXPECT_EQ(GetSQLServerDomainName(L"\\INST", strDomain), S_OK);
    EXPECT_EQ(strDomain, L"OFFICE");
    EXPECT_EQ(GetSQLServerDomainName(L"", strDomain), S_OK);
    EXPECT_EQ(GetSQLServerDomainName(nullptr, strDomain), S_OK);
    EXPECT_EQ(m_pNetApi->Calls(),
              (std::vector<std::wstring>{L"NetWkstaGetInfo101(\\\\SQLBOX)", L"NetWkstaGetInfo101((null))",
                                         L"NetWkstaGetInfo101((null))", L"NetWkstaGetInfo101((null))"}));

    const testsupport::TraceCapture trace;
    EXPECT_EQ(GetSQLServerDomainName(L"GONE", strDomain), E_FAIL);
    EXPECT_TRUE(Contains(trace.Messages(), "WAR: NetWkstaGetInfo failed 53 for '\\\\GONE'."));
}

TEST_F(DomainAndClusterTest, MembershipIsAPrimaryDomainWithASid)
{
    EXPECT_FALSE(UTIL::WG::IsMachineInDomain());
    m_pNetApi->primaryDomain = {L"CORP", true};
    EXPECT_TRUE(UTIL::WG::IsMachineInDomain());
    m_pNetApi->dwPrimaryDomainError = platform::ERROR_ACCESS_DENIED;
    const testsupport::TraceCapture trace;
    EXPECT_EQ(Thrown([] { UTIL::WG::IsMachineInDomain(); }), HRESULT_FROM_WIN32(5));
    EXPECT_TRUE(Contains(trace.Messages(), "ERR: Failed 'status != STATUS_SUCCESS' : Win32 error 0x80070005"));
}

TEST_F(DomainAndClusterTest, DomainTrustAsksTheDomainsControllerOnceForEachSetOfFlags)
{
    m_pNetApi->controllers[L"CORP"] = L"\\\\DC1";
    m_pNetApi->trustAnswers[L"\\\\DC1"] = {
        0, DomainTrustArray({{L"corp", L"corp.example.com", DS_DOMAIN_PRIMARY, 0, 2, 0}})};
    UTIL::ADDOMAIN::CDomainTrust trust(L"CORP");
    EXPECT_TRUE(trust.IsInSameDomainAs(L"CORP"));
    EXPECT_FALSE(trust.IsInSameDomainAs(L"CORPX"));
    EXPECT_FALSE(trust.TrustExists(DS_DOMAIN_PRIMARY, L"EMEA"));
    EXPECT_EQ(m_pNetApi->Calls(),
              (std::vector<std::wstring>{L"DsGetDcNameW(CORP, 0x10)", L"DsEnumerateDomainTrustsW(\\\\DC1, 0x8)"}));
    EXPECT_EQ(Thrown([&] { trust.TrustExists(DS_DOMAIN_PRIMARY, L""); }), E_INVALIDARG);
    EXPECT_EQ(Thrown([&] { trust.TrustExists(DS_DOMAIN_PRIMARY, nullptr); }), E_INVALIDARG);
}

TEST_F(DomainAndClusterTest, DomainTrustWithoutADomainAsksThisComputer)
{
    m_pNetApi->trustAnswers[L""] = {0, DomainTrustArray({{L"OFFICE", std::nullopt, DS_DOMAIN_PRIMARY, 0, 1, 0}})};
    UTIL::ADDOMAIN::CDomainTrust trust(nullptr);
    EXPECT_TRUE(trust.IsInSameDomainAs(L"office"));
    EXPECT_EQ(m_pNetApi->Calls(), std::vector<std::wstring>{L"DsEnumerateDomainTrustsW(, 0x8)"});
}

TEST_F(DomainAndClusterTest, DomainTrustFailuresRaiseTheirCodes)
{
    struct Case
    {
        const char* szName;
        std::function<void(testsupport::CFakeNetApi&)> arrange;
        HRESULT hr;
        std::string strTrace;
    };
    const Case cases[] = {
        {"no controller", [](testsupport::CFakeNetApi&) {}, E_FAIL,
         "ERR: Failed 'dwRetVal != ERROR_SUCCESS' : Win32 error 0x80004005"},
        {"no answer", [](testsupport::CFakeNetApi& n) { n.bControllerAnswerMissing = true; }, E_POINTER,
         "ERR: Failed 'pDomainControllerInfo == NULL' : Win32 error 0x80004003"},
        {"a name too short", [](testsupport::CFakeNetApi& n) { n.controllers[L"CORP"] = L"\\\\"; }, E_FAIL,
         "ERR: Failed 'wcslen(pDomainControllerInfo->DomainControllerName) < 3' : Win32 error 0x80004005"},
        {"enumeration fails",
         [](testsupport::CFakeNetApi& n) {
             n.controllers[L"CORP"] = L"\\\\DC1";
             n.trustAnswers[L"\\\\DC1"] = {ERROR_NO_LOGON_SERVERS, {}};
         },
         E_FAIL, "ERR: Failed 'dwRetVal != ERROR_SUCCESS' : Win32 error 0x80004005"},
        {"a count without an array",
         [](testsupport::CFakeNetApi& n) {
             n.controllers[L"CORP"] = L"\\\\DC1";
             n.trustAnswers[L"\\\\DC1"] = {0, DomainTrustArray::CountWithoutArray(2)};
         },
         E_FAIL,
         "ERR: Failed '(m_trustEntries.Count() > 0) && (m_trustEntries.Entries() == NULL)' : Win32 error 0x80004005"},
        {"a trust without a NetBIOS name",
         [](testsupport::CFakeNetApi& n) {
             n.controllers[L"CORP"] = L"\\\\DC1";
             n.trustAnswers[L"\\\\DC1"] = {0, DomainTrustArray({{std::nullopt, L"corp.example.com", 8, 0, 2, 0}})};
         },
         E_POINTER, "ERR: Failed 'wszNetbiosDomainName == NULL' : Win32 error 0x80004003"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        auto pNetApi = std::make_shared<testsupport::CFakeNetApi>();
        c.arrange(*pNetApi);
        const CScopedNetApi scoped(pNetApi);
        const testsupport::TraceCapture trace;
        EXPECT_EQ(Thrown([] { UTIL::ADDOMAIN::CDomainTrust(L"CORP").IsInSameDomainAs(L"CORP"); }), c.hr);
        EXPECT_TRUE(Contains(trace.Messages(), c.strTrace));
    }
}
