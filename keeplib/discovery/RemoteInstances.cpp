// The SQL Server instances the browse finds on the network, less those of this computer and its
// cluster and, in a domain, those of computers outside the trusted domain.

#include "BraceList.h"
#include "DomainMembership.h"
#include "DomainUtils.h"
#include "FailedCall.h"
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
// The remote names whose checks are traced line by line.
constexpr std::size_t kNamesTracedOneByOne = 100;

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
// the domain the browse keeps, whose computers are the only ones it could keep. Traced unless
// bTrace is false.
HRESULT ServerDomainName(const std::wstring& strServer, const UTIL::ADDOMAIN::CDomainTrust& domainTrust, bool bTrace,
                         std::wstring& bstrServerDomain)
{
    const HRESULT hr = GetSQLServerDomainName(strServer.c_str(), bstrServerDomain);
    const std::wstring strComputer = strServer.substr(0, strServer.find(L'\\'));
    if (SUCCEEDED(hr) || strComputer.empty() || strComputer.find(L'.') != std::wstring::npos ||
        domainTrust.DomainDnsName().empty())
        return hr;
    const std::wstring strQualified = strComputer + L"." + domainTrust.DomainDnsName();
    if (bTrace)
        TRACE_INFO(TRACE_NORMAL, L"%ls did not answer by its short name, asking %ls", strComputer.c_str(),
                   strQualified.c_str());
    return GetSQLServerDomainName(strQualified.c_str(), bstrServerDomain);
}

// Whether a remote server may be listed: outside a domain always, in one when its computer
// belongs to the trusted domain. Traced as it is checked, unless bTrace is false.
bool IsAcceptedRemote(const std::wstring& strServer, UTIL::ADDOMAIN::CDomainTrust* pDomainTrust, bool bTrace)
{
    if (!pDomainTrust) {
        if (bTrace)
            TRACE_INFO(TRACE_NORMAL, L"Not in a domain, allow remote DB");
        return true;
    }
    if (bTrace)
        TRACE_INFO(TRACE_NORMAL, L"In a domain, check remote DB trust");
    std::wstring bstrServerDomain;
    const HRESULT hr = ServerDomainName(strServer, *pDomainTrust, bTrace, bstrServerDomain);
    if (bTrace) {
        TRACE_INFO(TRACE_NORMAL, L"hr=0x%08X", HResultBits(hr));
        TRACE_INFO(TRACE_NORMAL, L"bstrServerDomain=%ls", bstrServerDomain.c_str());
    }
    if (FAILED(hr)) {
        if (bTrace) {
            TRACE_ERROR(TRACE_NORMAL, L"Failed to retrieve domain for SQL Server");
            TRACE_ERROR(TRACE_NORMAL,
                        L"Leaving out %ls: its computer could not be asked which domain it belongs to (it is asked "
                        L"with the caller's Kerberos ticket, by the name listed or by that name in the domain kept)",
                        strServer.c_str());
        }
        return false;
    }
    if (bTrace)
        TRACE_INFO(TRACE_NORMAL, L"Check whether domains are compatible");
    return pDomainTrust->IsInSameDomainAs(bstrServerDomain.c_str());
}

enum class NameOutcome { Local, Added, Refused };

// Whether a name the browse found is listed: not when it is of this computer or its cluster, nor
// when it is of a computer outside the trusted domain.
NameOutcome CheckRemoteName(const std::wstring& strItem, const CLocalComputerNames& localComputerNames,
                            UTIL::ADDOMAIN::CDomainTrust* pDomainTrust, bool bTrace)
{
    if (localComputerNames.IsLocalComputer(strItem.c_str()) || localComputerNames.IsLocalCluster(strItem.c_str()) ||
        localComputerNames.IsClusterNode(strItem.c_str()))
        return NameOutcome::Local;
    if (!IsAcceptedRemote(strItem, pDomainTrust, bTrace))
        return NameOutcome::Refused;
    if (bTrace)
        TRACE_INFO(TRACE_NORMAL, L"Adding remote instance: %ls", strItem.c_str());
    return NameOutcome::Added;
}

// What became of the remote names that were not traced one by one.
struct UntracedNames
{
    std::size_t nLocal = 0;
    std::size_t nAdded = 0;
    std::size_t nRefused = 0;

    void Count(NameOutcome outcome)
    {
        ++(outcome == NameOutcome::Local ? nLocal : outcome == NameOutcome::Added ? nAdded : nRefused);
    }
};

} // namespace

HRESULT AddRemoteInstances(const wchar_t* pstrUserDomain, CServerNameSet& names)
{
    CLocalComputerNames localComputerNames;
    if (const HRESULT hr = localComputerNames.Init(); FAILED(hr))
        return TraceFailedCall(hr, L"CLocalComputerNames.Init");

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
    // How many names come is up to whoever answers the browse, and every trace line is a write
    // to the disk: the first names are traced one by one, the rest counted.
    UntracedNames untraced;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const bool bTrace = i < kNamesTracedOneByOne;
        const NameOutcome outcome = CheckRemoteName(items[i], localComputerNames, pDomainTrust.get(), bTrace);
        if (outcome == NameOutcome::Added)
            names.Insert(items[i]);
        if (!bTrace)
            untraced.Count(outcome);
    }
    if (items.size() > kNamesTracedOneByOne)
        TRACE_INFO(TRACE_NORMAL,
                   L"%zu more remote names were checked without a trace line each: %zu added, %zu of this computer "
                   L"or its cluster, %zu refused.",
                   items.size() - kNamesTracedOneByOne, untraced.nAdded, untraced.nLocal, untraced.nRefused);
    return S_OK;
}

} // namespace Keeplibs
