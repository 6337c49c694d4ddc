// The SQL Server instances the browse finds on the network, less those of this computer and its
// cluster and, in a domain, those of computers outside the trusted domain.

#include "BraceList.h"
#include "DomainMembership.h"
#include "DomainUtils.h"
#include "InstanceSources.h"
#include "LocalComputerNames.h"
#include "SqlHandles.h"
#include "trace/ICDebug.h"

#include <memory>
#include <optional>
#include <vector>

namespace Keeplibs {
namespace {

using namespace platform::browse;

constexpr SQLINTEGER kFirstBufferLength = 3000;
constexpr int kRetryBudget = 100;

// The browse text, asked again with a larger buffer while it does not fit. Nothing after a
// failure, which has been traced.
std::optional<std::wstring> ReadBrowseText(CSqlHDbc& dbc)
{
    constexpr wchar_t kBrowseConnectionString[] = L"DRIVER={SQL Server}";
    std::vector<wchar_t> szOut(kFirstBufferLength);
    SQLINTEGER cchOut = 0;
    int iRetriesLeft = kRetryBudget;
    for (;;) {
        const SQLRETURN ret = SQLBrowseConnectW(dbc.Get(), kBrowseConnectionString, SQL_NTS, szOut.data(),
                                                static_cast<SQLINTEGER>(szOut.size()), &cchOut);
        if (!SqlSucceeded(ret) && ret != SQL_NEED_DATA) {
            TRACE_ERROR(TRACE_FAILURE, L"CSqlHDbc.SQLBrowseConnect failed.");
            VestrelODBCUtil::TraceODBCError(SQL_HANDLE_DBC, dbc.Get());
            return std::nullopt;
        }
        // A text as long as the buffer has lost its last character to the terminator.
        if (ret != SQL_NEED_DATA || cchOut < static_cast<SQLINTEGER>(szOut.size()))
            break;
        if (--iRetriesLeft == 0) {
            TRACE_ERROR(TRACE_FAILURE, L"Retried too many times.");
            return std::nullopt;
        }
        szOut.assign(static_cast<std::size_t>(cchOut) + 1, L'\0');
    }
    // What the browse left out, and why.
    VestrelODBCUtil::TraceODBCError(SQL_HANDLE_DBC, dbc.Get());
    return std::wstring(szOut.data());
}

// The domain of a remote server's computer, which the computer says itself when asked with the
// caller's Kerberos ticket. The ticket names the computer as the domain controllers know it, and a
// controller knows only its own domain's computers by their short names: a computer listed by a
// short name that does not answer by it is asked again by that name qualified with the DNS name of
// the domain the browse keeps, whose computers are the only ones it could keep.
HRESULT ServerDomainName(const std::wstring& strServer, const UTIL::ADDOMAIN::CDomainTrust& domainTrust,
                         std::wstring& bstrServerDomain)
{
    const HRESULT hr = GetSQLServerDomainName(strServer.c_str(), bstrServerDomain);
    const std::wstring strComputer = strServer.substr(0, strServer.find(L'\\'));
    if (SUCCEEDED(hr) || strComputer.empty() || strComputer.find(L'.') != std::wstring::npos ||
        domainTrust.DomainDnsName().empty())
        return hr;
    const std::wstring strQualified = strComputer + L"." + domainTrust.DomainDnsName();
    TRACE_INFO(TRACE_NORMAL, L"%ls did not answer by its short name, asking %ls", strComputer.c_str(),
               strQualified.c_str());
    return GetSQLServerDomainName(strQualified.c_str(), bstrServerDomain);
}

// Whether a remote server may be listed: outside a domain always, in one when its computer
// belongs to the trusted domain.
bool IsAcceptedRemote(const std::wstring& strServer, UTIL::ADDOMAIN::CDomainTrust* pDomainTrust)
{
    if (!pDomainTrust) {
        TRACE_INFO(TRACE_NORMAL, L"Not in a domain, allow remote DB");
        return true;
    }
    TRACE_INFO(TRACE_NORMAL, L"In a domain, check remote DB trust");
    std::wstring bstrServerDomain;
    const HRESULT hr = ServerDomainName(strServer, *pDomainTrust, bstrServerDomain);
    TRACE_INFO(TRACE_NORMAL, L"hr=0x%08X", HResultBits(hr));
    TRACE_INFO(TRACE_NORMAL, L"bstrServerDomain=%ls", bstrServerDomain.c_str());
    if (FAILED(hr)) {
        TRACE_ERROR(TRACE_NORMAL, L"Failed to retrieve domain for SQL Server");
        TRACE_ERROR(TRACE_NORMAL,
                    L"Leaving out %ls: its computer could not be asked which domain it belongs to (it is asked "
                    L"with the caller's Kerberos ticket, by the name listed or by that name in the domain kept)",
                    strServer.c_str());
        return false;
    }
    TRACE_INFO(TRACE_NORMAL, L"Check whether domains are compatible");
    return pDomainTrust->IsInSameDomainAs(bstrServerDomain.c_str());
}

} // namespace

HRESULT AddRemoteInstances(const wchar_t* pstrUserDomain, CServerNameSet& names)
{
    CLocalComputerNames localComputerNames;
    if (const HRESULT hr = localComputerNames.Init(); FAILED(hr)) {
        TRACE_ERROR(TRACE_FAILURE, L"CLocalComputerNames.Init failed with hr=(0x%08x).", HResultBits(hr));
        return hr;
    }

    std::optional<std::wstring> text;
    {
        CSqlHEnv env;
        if (!SqlSucceeded(env.Alloc())) {
            TRACE_ERROR(TRACE_FAILURE, L"CSqlHEnv.Alloc failed.");
            return E_FAIL;
        }
        if (!SqlSucceeded(env.SetEnvAttr(SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3, 0))) {
            TRACE_ERROR(TRACE_FAILURE, L"CSqlHEnv.SetEnvAttr failed.");
            VestrelODBCUtil::TraceODBCError(SQL_HANDLE_ENV, env.Get());
            return E_FAIL;
        }
        CSqlHDbc dbc;
        if (!SqlSucceeded(dbc.Alloc(env))) {
            TRACE_ERROR(TRACE_FAILURE, L"CSqlHDbc.Alloc failed.");
            VestrelODBCUtil::TraceODBCError(SQL_HANDLE_ENV, env.Get());
            return E_FAIL;
        }
        if (!SqlSucceeded(dbc.SetConnectAttr(SQL_COPT_SS_BROWSE_CONNECT, SQL_MORE_INFO_NO, SQL_IS_INTEGER))) {
            TRACE_ERROR(TRACE_FAILURE, L"CSqlHDbc.SetConnectAttr(SQL_COPT_SS_BROWSE_CONNECT) failed.");
            VestrelODBCUtil::TraceODBCError(SQL_HANDLE_DBC, dbc.Get());
            return E_FAIL;
        }
        if (!SqlSucceeded(dbc.SetConnectAttr(SQL_COPT_SS_BROWSE_CACHE_DATA, SQL_CACHE_DATA_YES, SQL_IS_INTEGER))) {
            TRACE_ERROR(TRACE_FAILURE, L"CSqlHDbc.SetConnectAttr(SQL_COPT_SS_BROWSE_CACHE_DATA) failed.");
            VestrelODBCUtil::TraceODBCError(SQL_HANDLE_DBC, dbc.Get());
            return E_FAIL;
        }
        text = ReadBrowseText(dbc);
        if (!SqlSucceeded(SQLDisconnect(dbc.Get()))) {
            TRACE_ERROR(TRACE_FAILURE, L"CSqlHDbc.SQLDisconnect failed.");
            VestrelODBCUtil::TraceODBCError(SQL_HANDLE_DBC, dbc.Get());
        }
    }
    if (!text)
        return E_FAIL;

    const std::vector<std::wstring> items = BraceListItems(*text);
    std::unique_ptr<UTIL::ADDOMAIN::CDomainTrust> pDomainTrust;
    if (!items.empty() && UTIL::WG::IsMachineInDomain()) {
        std::wstring wstrTrustedDomain;
        localComputerNames.GetTrustedDomain(pstrUserDomain, wstrTrustedDomain);
        pDomainTrust = std::make_unique<UTIL::ADDOMAIN::CDomainTrust>(wstrTrustedDomain.c_str());
    }
    for (const std::wstring& strItem : items) {
        if (localComputerNames.IsLocalComputer(strItem.c_str()) || localComputerNames.IsLocalCluster(strItem.c_str()) ||
            localComputerNames.IsClusterNode(strItem.c_str()))
            continue;
        if (IsAcceptedRemote(strItem, pDomainTrust.get())) {
            TRACE_INFO(TRACE_NORMAL, L"Adding remote instance: %ls", strItem.c_str());
            names.Insert(strItem);
        }
    }
    return S_OK;
}

} // namespace Keeplibs
