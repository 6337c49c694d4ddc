#include "testsupport/FakeNetApi.h"

#include "common/StringUtils.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <utility>

namespace testsupport {

using namespace platform::netapi;

DWORD CFakeNetApi::GetComputerNameExW(COMPUTER_NAME_FORMAT format, wchar_t* lpBuffer, DWORD* pnSize)
{
    m_calls.push_back(
        FormatW(L"GetComputerNameExW(%d, %lu)", static_cast<int>(format), static_cast<unsigned long>(*pnSize)));
    if (dwComputerNameError != 0)
        return dwComputerNameError;
    const std::wstring& strName = format == ComputerNameDnsFullyQualified ? strDnsComputerName : strComputerName;
    if (*pnSize < strName.size() + 1) {
        *pnSize = static_cast<DWORD>(strName.size() + 1);
        return platform::ERROR_MORE_DATA;
    }
    std::copy(strName.begin(), strName.end(), lpBuffer);
    lpBuffer[strName.size()] = L'\0';
    *pnSize = static_cast<DWORD>(strName.size());
    return platform::ERROR_SUCCESS;
}

DWORD CFakeNetApi::QueryPrimaryDomain(PrimaryDomainInfo& info)
{
    m_calls.push_back(L"QueryPrimaryDomain()");
    if (dwPrimaryDomainError == 0)
        info = primaryDomain;
    return dwPrimaryDomainError;
}

DWORD CFakeNetApi::NetWkstaGetInfo101(const wchar_t* wszServerName, WKSTA_INFO_101& info)
{
    const std::wstring strServer = wszServerName ? wszServerName : L"(null)";
    m_calls.push_back(L"NetWkstaGetInfo101(" + strServer + L")");
    if (dwWorkstationError != 0)
        return dwWorkstationError;
    std::wstring_view name = wszServerName ? wszServerName : L"";
    while (name.starts_with(L'\\'))
        name.remove_prefix(1);
    const auto workgroup = workgroups.find(std::wstring(name));
    if (workgroup == workgroups.end())
        return ERROR_BAD_NETPATH;
    info.wki101_computername = name.empty() ? strComputerName : std::wstring(name);
    info.wki101_langroup = workgroup->second;
    return platform::ERROR_SUCCESS;
}

DWORD CFakeNetApi::DsGetDcNameW(const wchar_t* wszDomainName, ULONG ulFlags,
                                std::unique_ptr<DOMAIN_CONTROLLER_INFOW>& pInfo)
{
    const std::wstring strDomain = wszDomainName ? wszDomainName : L"(null)";
    m_calls.push_back(FormatW(L"DsGetDcNameW(%ls, 0x%lx)", strDomain.c_str(), static_cast<unsigned long>(ulFlags)));
    pInfo.reset();
    if (bControllerAnswerMissing)
        return platform::ERROR_SUCCESS;
    const auto controller = controllers.find(strDomain);
    if (controller == controllers.end())
        return ERROR_NO_SUCH_DOMAIN;
    pInfo = std::make_unique<DOMAIN_CONTROLLER_INFOW>();
    pInfo->DomainControllerName = controller->second;
    const auto dnsName = domainDnsNames.find(strDomain);
    pInfo->DomainName = dnsName == domainDnsNames.end() ? strDomain : dnsName->second;
    return platform::ERROR_SUCCESS;
}

DWORD CFakeNetApi::DsEnumerateDomainTrustsW(const wchar_t* wszServerName, ULONG ulFlags, DomainTrustArray& trusts)
{
    const std::wstring strServer = wszServerName ? wszServerName : L"";
    m_calls.push_back(
        FormatW(L"DsEnumerateDomainTrustsW(%ls, 0x%lx)", strServer.c_str(), static_cast<unsigned long>(ulFlags)));
    const auto answer = trustAnswers.find(strServer);
    if (answer == trustAnswers.end())
        return ERROR_NO_LOGON_SERVERS;
    if (answer->second.dwError == 0)
        trusts = answer->second.trusts;
    return answer->second.dwError;
}

std::vector<std::wstring> CFakeNetApi::TakeNotes()
{
    return std::exchange(notes, {});
}

} // namespace testsupport
