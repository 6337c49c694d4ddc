#include "LocalComputerNames.h"

#include "ClusterWalk.h"
#include "DomainUtils.h"
#include "FailedCall.h"
#include "common/CharacterClass.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "trace/ComUtils.h"
#include "trace/TraceScope.h"

#include <algorithm>

#include <limits.h>
#include <unistd.h>

namespace Keeplibs {
namespace {

// The names by which every computer calls itself, as SQL Server clients know them.
constexpr const wchar_t* kNamesOfEveryComputer[] = {L"(local)", L".", L"localhost"};

// The host name as the system has it ("mailgw.corp.example"), and its first label ("mailgw").
std::vector<std::wstring> HostNames()
{
    char szHostName[HOST_NAME_MAX + 1] = {};
    if (::gethostname(szHostName, sizeof szHostName - 1) != 0 || !*szHostName)
        return {};
    const std::wstring strHostName = NarrowToWide(szHostName);
    const std::wstring strFirstLabel = strHostName.substr(0, strHostName.find(L'.'));
    if (strFirstLabel.empty() || strFirstLabel == strHostName)
        return {strHostName};
    return {strHostName, strFirstLabel};
}

// Whether the computer part of the server name (the text before its instance) is an address
// literal, "127.0.0.1" or "[::1]", of this computer.
bool IsAddressOf(const platform::CInterfaceAddresses& interfaces, std::wstring_view serverName)
{
    std::wstring_view computer = serverName.substr(0, serverName.find(L'\\'));
    if (computer.size() > 2 && computer.starts_with(L'[') && computer.ends_with(L']'))
        computer = computer.substr(1, computer.size() - 2);
    const auto address = platform::NetworkAddress::FromLiteral(WideToNarrow(computer), 0);
    return address && interfaces.IsOwn(*address);
}

// This computer's DNS name as the network answers give it; empty when they cannot.
std::wstring ComputerDnsName()
{
    std::vector<wchar_t> buffer(256);
    DWORD nSize = static_cast<DWORD>(buffer.size());
    auto& netApi = platform::netapi::CurrentNetApi();
    DWORD dwError = netApi.GetComputerNameExW(platform::netapi::ComputerNameDnsFullyQualified, buffer.data(), &nSize);
    if (dwError == platform::ERROR_MORE_DATA) {
        buffer.resize(nSize);
        dwError = netApi.GetComputerNameExW(platform::netapi::ComputerNameDnsFullyQualified, buffer.data(), &nSize);
    }
    return dwError == platform::ERROR_SUCCESS ? std::wstring(buffer.data(), nSize) : std::wstring();
}

} // namespace

using namespace platform::cluster;

bool MatchServerName(const wchar_t* wszName, const wchar_t* wszServerName)
{
    if (!wszName || !wszServerName || !*wszName)
        return false;
    for (; *wszName && *wszServerName; ++wszName, ++wszServerName) {
        if (UTIL::STR::ToUpper(*wszName) != UTIL::STR::ToUpper(*wszServerName))
            return false;
    }
    if (*wszName)
        return false;
    return *wszServerName == L'\0' || *wszServerName == L'\\';
}

HRESULT CLocalComputerNames::Init()
{
    TRACE_SCOPE(L"Keeplibs::CLocalComputerNames::Init()");
    DWORD nSize = static_cast<DWORD>(m_szComputerName.size());
    const DWORD dwError = platform::netapi::CurrentNetApi().GetComputerNameExW(platform::netapi::ComputerNameNetBIOS,
                                                                               m_szComputerName.data(), &nSize);
    if (dwError != 0)
        return HRESULT_FROM_WIN32(dwError);

    m_lstHostNames = HostNames();
    // In a domain the computer also goes by its host name in the domain's DNS domain.
    if (std::wstring strDnsName = ComputerDnsName(); !strDnsName.empty())
        m_lstHostNames.push_back(std::move(strDnsName));
    m_interfaces = platform::CInterfaceAddresses::Read();

    if (const HRESULT hr = GetSQLServerDomainName(nullptr, m_bstrDomainName); FAILED(hr))
        return TraceFailedCall(hr, L"GetSQLServerDomainName");
    return ReadClusterNames();
}

HRESULT CLocalComputerNames::ReadClusterNames()
{
    const std::shared_ptr<ISCluster> pCluster = OpenLocalCluster();
    if (!pCluster)
        return S_OK;
    const HRESULT hr =
        ForEachGroupResource(*pCluster, [this](ISClusResource& resource, const std::wstring& bstrTypeName) {
            if (bstrTypeName != L"Network Name")
                return S_OK;
            std::shared_ptr<ISClusProperties> pProperties;
            if (const HRESULT hrCall = resource.get_PrivateProperties(&pProperties); FAILED(hrCall))
                return TraceFailedCall(hrCall, L"ISClusResource->get_PrivateProperties");
            std::shared_ptr<ISClusProperty> pProperty;
            if (const HRESULT hrCall = pProperties->get_Item(platform::Variant::String(L"Name"), &pProperty);
                FAILED(hrCall))
                return TraceFailedCall(hrCall, L"ISClusProperties->get_Item");
            platform::Variant value;
            if (const HRESULT hrCall = pProperty->get_Value(&value); FAILED(hrCall))
                return TraceFailedCall(hrCall, L"ISClusProperty->get_Value");
            if (value.Type() == platform::VT_BSTR)
                m_lstClusterNetworkNames.push_back(value.StringValue());
            return S_OK;
        });
    if (FAILED(hr))
        return hr;

    std::shared_ptr<ISClusNodes> pNodes;
    if (const HRESULT hrNodes = pCluster->get_Nodes(&pNodes); FAILED(hrNodes))
        return TraceFailedCall(hrNodes, L"ISCluster->get_Nodes");
    return ForEachItem(*pNodes, L"ISClusNodes", [this](ISClusNode& node) {
        std::wstring bstrName;
        if (const HRESULT hrName = node.get_Name(&bstrName); FAILED(hrName))
            return TraceFailedCall(hrName, L"ISClusNode->get_Name");
        m_lstClusterNodeNames.push_back(std::move(bstrName));
        return S_OK;
    });
}

bool CLocalComputerNames::IsLocalComputer(const wchar_t* wszServerName) const
{
    const auto matches = [wszServerName](const wchar_t* wszName) { return MatchServerName(wszName, wszServerName); };
    return wszServerName &&
           (std::any_of(std::begin(kNamesOfEveryComputer), std::end(kNamesOfEveryComputer), matches) ||
            matches(m_szComputerName.data()) ||
            std::any_of(m_lstHostNames.begin(), m_lstHostNames.end(),
                        [&matches](const std::wstring& strName) { return matches(strName.c_str()); }) ||
            IsAddressOf(m_interfaces, wszServerName));
}

bool CLocalComputerNames::IsLocalCluster(const wchar_t* wszServerName) const
{
    return std::any_of(
        m_lstClusterNetworkNames.begin(), m_lstClusterNetworkNames.end(),
        [wszServerName](const std::wstring& strName) { return MatchServerName(strName.c_str(), wszServerName); });
}

bool CLocalComputerNames::IsClusterNode(const wchar_t* wszServerName) const
{
    return std::any_of(
        m_lstClusterNodeNames.begin(), m_lstClusterNodeNames.end(),
        [wszServerName](const std::wstring& strName) { return MatchServerName(strName.c_str(), wszServerName); });
}

void CLocalComputerNames::GetTrustedDomain(const wchar_t* wszDomain, std::wstring& wstrTrustedDomainRef) const
{
    TRACE_SCOPE(L"Keeplibs::CLocalComputerNames::GetTrustedDomain()");
    std::wstring wstrTrustedDomain = wszDomain ? wszDomain : L"";
    if (wstrTrustedDomain.empty()) {
        TRACE_INFO(TRACE_NORMAL, L"No domain supplied, use this domain");
        wstrTrustedDomain = m_bstrDomainName;
    }
    THROW_CHECK_FAILURE_IF(wstrTrustedDomain.empty(), E_FAIL);
    wstrTrustedDomainRef = wstrTrustedDomain;
    TRACE_INFO(TRACE_NORMAL, L"Returning, wstrTrustedDomainRef=%ls", wstrTrustedDomainRef.c_str());
}

} // namespace Keeplibs
