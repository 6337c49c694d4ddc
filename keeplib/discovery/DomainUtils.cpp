#include "DomainUtils.h"

#include "TracedNetApi.h"

#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "trace/ComUtils.h"
#include "trace/TraceScope.h"

#include <cwchar>
#include <new>

namespace Keeplibs {

HRESULT GetSQLServerDomainName(const wchar_t* wszServerName, std::wstring& bstrDomainName)
{
    TRACE_SCOPE(L"Keeplibs::GetSQLServerDomainName()");
    std::wstring strComputer;
    if (wszServerName) {
        try {
            // "\\" and the computer part of the server name, the text up to its first backslash.
            const std::wstring_view serverName(wszServerName);
            const std::wstring_view computer = serverName.substr(0, serverName.find(L'\\'));
            if (!computer.empty())
                strComputer = L"\\\\" + std::wstring(computer);
        } catch (const std::bad_alloc&) {
            TRACE_ERROR(TRACE_FAILURE, L"CAutoDeletePtr<TCHAR>.Allocate failed.");
            return E_OUTOFMEMORY;
        }
    }
    platform::netapi::WKSTA_INFO_101 info;
    const DWORD status =
        Keeplibs::TracedNetApi().NetWkstaGetInfo101(strComputer.empty() ? nullptr : strComputer.c_str(), info);
    if (status != platform::ERROR_SUCCESS) {
        if (strComputer.empty())
            TRACE_WARNING(TRACE_FAILURE, L"NetWkstaGetInfo failed %d.", static_cast<int>(status));
        else
            TRACE_WARNING(TRACE_FAILURE, L"NetWkstaGetInfo failed %d for '%ls'.", static_cast<int>(status),
                          strComputer.c_str());
        return E_FAIL;
    }
    try {
        bstrDomainName = info.wki101_langroup;
    } catch (const std::bad_alloc&) {
        TRACE_ERROR(TRACE_FAILURE, L"SysAllocString failed.");
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace Keeplibs

namespace UTIL::ADDOMAIN {

using platform::ERROR_SUCCESS;
using platform::netapi::ULONG;

CDomainTrust::CDomainTrust(const wchar_t* wszDomain)
{
    TRACE_SCOPE(L"UTIL::ADDOMAIN::CDomainTrust::CDomainTrust()");
    TRACE_INFO(TRACE_NORMAL, L"wszDomain=%ls", wszDomain ? wszDomain : L"");
    if (!wszDomain || !*wszDomain)
        return;
    TRACE_INFO(TRACE_NORMAL, L"Find DC for specified domain");
    std::unique_ptr<platform::netapi::DOMAIN_CONTROLLER_INFOW> pDomainControllerInfo;
    const DWORD dwRetVal = Keeplibs::TracedNetApi().DsGetDcNameW(
        wszDomain, platform::netapi::DS_DIRECTORY_SERVICE_REQUIRED, pDomainControllerInfo);
    TRACE_INFO(TRACE_NORMAL, L"dwRetVal=%lu", static_cast<unsigned long>(dwRetVal));
    THROW_CHECK_FAILURE_IF(dwRetVal != ERROR_SUCCESS, E_FAIL);
    THROW_CHECK_FAILURE_IF(pDomainControllerInfo == NULL, E_POINTER);
    const std::wstring& wstrName = pDomainControllerInfo->DomainControllerName;
    TRACE_INFO(TRACE_NORMAL, L"pDomainControllerInfo->DomainControllerName=%ls", wstrName.c_str());
    if (wstrName.size() < 3)
        UTIL::COM::ThrowCheckFailure(E_FAIL, __LINE__, __FILE__,
                                     "wcslen(pDomainControllerInfo->DomainControllerName) < 3");
    m_wstrDcServerName = wstrName;
    // The lookup answers the domain's DNS name where the domain has one, else the name asked.
    if (pDomainControllerInfo->DomainName.find(L'.') != std::wstring::npos)
        m_wstrDomainDnsName = pDomainControllerInfo->DomainName;
}

bool CDomainTrust::TrustExists(ULONG ulFlags, const wchar_t* wszOtherDomain)
{
    TRACE_SCOPE(L"UTIL::ADDOMAIN::CDomainTrust::TrustExists()");
    TRACE_INFO(TRACE_NORMAL, L"ulFlags=%lu", static_cast<unsigned long>(ulFlags));
    TRACE_INFO(TRACE_NORMAL, L"wszOtherDomain=%ls", wszOtherDomain ? wszOtherDomain : L"");
    auto it = m_mapTrusts.find(ulFlags);
    if (it == m_mapTrusts.end())
        it = m_mapTrusts.emplace(ulFlags, CTrust(ulFlags, m_wstrDcServerName)).first;
    return it->second.TrustExists(wszOtherDomain);
}

bool CDomainTrust::IsInSameDomainAs(const wchar_t* wszOtherDomain)
{
    TRACE_SCOPE(L"UTIL::ADDOMAIN::CDomainTrust::IsInSameDomainAs()");
    TRACE_INFO(TRACE_NORMAL, L"wszOtherDomain=%ls", wszOtherDomain ? wszOtherDomain : L"");
    // A domain controller lists its own domain as the primary one.
    return TrustExists(platform::netapi::DS_DOMAIN_PRIMARY, wszOtherDomain);
}

CDomainTrust::CTrust::CTrust(ULONG ulFlags, const std::wstring& wstrDcServerName)
{
    TRACE_SCOPE(L"UTIL::ADDOMAIN::CDomainTrust::CTrust::CTrust()");
    TRACE_INFO(TRACE_NORMAL, L"ulFlags=%lu", static_cast<unsigned long>(ulFlags));
    TRACE_INFO(TRACE_NORMAL, L"wstrDcServerName=%ls", wstrDcServerName.c_str());
    const DWORD dwRetVal =
        Keeplibs::TracedNetApi().DsEnumerateDomainTrustsW(wstrDcServerName.c_str(), ulFlags, m_trustEntries);
    TRACE_INFO(TRACE_NORMAL, L"dwRetVal=%lu", static_cast<unsigned long>(dwRetVal));
    TRACE_INFO(TRACE_NORMAL, L"m_pTrustEntries=%p", static_cast<const void*>(m_trustEntries.Entries()));
    TRACE_INFO(TRACE_NORMAL, L"m_ulDomainCount=%lu", static_cast<unsigned long>(m_trustEntries.Count()));
    THROW_CHECK_FAILURE_IF(dwRetVal != ERROR_SUCCESS, E_FAIL);
    THROW_CHECK_FAILURE_IF((m_trustEntries.Count() > 0) && (m_trustEntries.Entries() == NULL), E_FAIL);
}

bool CDomainTrust::CTrust::TrustExists(const wchar_t* wszOtherDomain) const
{
    TRACE_SCOPE(L"UTIL::ADDOMAIN::CDomainTrust::CTrust::TrustExists()");
    TRACE_INFO(TRACE_NORMAL, L"wszOtherDomain=%ls", wszOtherDomain ? wszOtherDomain : L"");
    THROW_CHECK_FAILURE_IF((wszOtherDomain == NULL) || (wcslen(wszOtherDomain) == 0), E_INVALIDARG);
    for (ULONG ulIndex = 0; ulIndex < m_trustEntries.Count(); ++ulIndex) {
        TRACE_INFO(TRACE_DETAIL, L"ulIndex=%lu", static_cast<unsigned long>(ulIndex));
        const auto& netbiosName = m_trustEntries.Entries()[ulIndex].NetbiosDomainName;
        const wchar_t* const wszNetbiosDomainName = netbiosName ? netbiosName->c_str() : nullptr;
        TRACE_INFO(TRACE_NORMAL, L"wszNetbiosDomainName=%ls", wszNetbiosDomainName ? wszNetbiosDomainName : L"(null)");
        THROW_CHECK_FAILURE_IF(wszNetbiosDomainName == NULL, E_POINTER);
        if (UTIL::STR::EqualsNoCase(wszOtherDomain, wszNetbiosDomainName)) {
            TRACE_INFO(TRACE_NORMAL, L"Found match");
            return true;
        }
    }
    return false;
}

} // namespace UTIL::ADDOMAIN
