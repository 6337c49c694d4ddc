#include "platform/browse/SqlBrowse.h"

#include "ResolutionDriver.h"
#include "platform/ProcessWide.h"

#include <algorithm>
#include <cwchar>
#include <utility>

namespace platform::browse {
namespace {

class Environment : public Handle
{
public:
    SQLINTEGER lOdbcVersion = 0;
};

class Connection : public Handle
{
public:
    Connection() { state.pDiagnostics = &diagnostics; }
    ConnectionState state;
};

CProcessWide<IBrowseDriver>& DriverInPlace()
{
    static CProcessWide<IBrowseDriver> driver([] { return std::make_shared<CResolutionDriver>(); });
    return driver;
}

SQLRETURN Fail(Handle& handle, const wchar_t* wszState, const wchar_t* wszMessage)
{
    handle.diagnostics.push_back({wszState, 0, wszMessage});
    return SQL_ERROR;
}

// The handle as the kind the call needs, its diagnostics cleared as every call clears them.
template <class Kind> Kind* Checked(Handle* pHandle)
{
    Kind* const pKind = dynamic_cast<Kind*>(pHandle);
    if (pKind)
        pKind->diagnostics.clear();
    return pKind;
}

} // namespace

SQLRETURN SQLAllocHandle(SQLSMALLINT handleType, Handle* pInput, HandlePtr& pOutput)
{
    if (handleType == SQL_HANDLE_ENV) {
        pOutput = std::make_unique<Environment>();
        return SQL_SUCCESS;
    }
    if (handleType != SQL_HANDLE_DBC)
        return SQL_ERROR;
    Environment* const pEnvironment = Checked<Environment>(pInput);
    if (!pEnvironment)
        return SQL_INVALID_HANDLE;
    if (pEnvironment->lOdbcVersion == 0)
        return Fail(*pEnvironment, L"HY010", L"Function sequence error: the ODBC version is not set");
    pOutput = std::make_unique<Connection>();
    return SQL_SUCCESS;
}

SQLRETURN SQLFreeHandle(SQLSMALLINT handleType, HandlePtr& pHandle)
{
    const bool bKnown = (handleType == SQL_HANDLE_ENV && dynamic_cast<Environment*>(pHandle.get())) ||
                        (handleType == SQL_HANDLE_DBC && dynamic_cast<Connection*>(pHandle.get()));
    if (!bKnown)
        return SQL_INVALID_HANDLE;
    pHandle.reset();
    return SQL_SUCCESS;
}

SQLRETURN SQLSetEnvAttr(Handle* pEnvironment, SQLINTEGER attribute, SQLINTEGER value, SQLINTEGER /*cbValue*/)
{
    Environment* const pEnv = Checked<Environment>(pEnvironment);
    if (!pEnv)
        return SQL_INVALID_HANDLE;
    if (attribute != SQL_ATTR_ODBC_VERSION)
        return Fail(*pEnv, L"HYC00", L"Optional feature not implemented");
    if (value != 2 && value != SQL_OV_ODBC3)
        return Fail(*pEnv, L"HY024", L"Invalid attribute value");
    pEnv->lOdbcVersion = value;
    return SQL_SUCCESS;
}

SQLRETURN SQLSetConnectAttrW(Handle* pConnection, SQLINTEGER attribute, SQLINTEGER value, SQLINTEGER /*cbValue*/)
{
    Connection* const pDbc = Checked<Connection>(pConnection);
    if (!pDbc)
        return SQL_INVALID_HANDLE;
    switch (attribute) {
    case SQL_COPT_SS_BROWSE_CONNECT:
        // Only the list of servers is browsed, never a server's own list of databases.
        return value == SQL_MORE_INFO_NO ? SQL_SUCCESS : Fail(*pDbc, L"HYC00", L"Optional feature not implemented");
    case SQL_COPT_SS_BROWSE_CACHE_DATA:
        pDbc->state.bBrowseCacheData = value == SQL_CACHE_DATA_YES;
        return SQL_SUCCESS;
    default:
        return Fail(*pDbc, L"HYC00", L"Optional feature not implemented");
    }
}

SQLRETURN SQLBrowseConnectW(Handle* pConnection, const wchar_t* szConnectionString, SQLSMALLINT cchConnectionString,
                            wchar_t* szOut, SQLINTEGER cchOutMax, SQLINTEGER* pcchOut)
{
    Connection* const pDbc = Checked<Connection>(pConnection);
    if (!pDbc)
        return SQL_INVALID_HANDLE;
    if (!szConnectionString || !pcchOut || (!szOut && cchOutMax > 0) || cchOutMax < 0)
        return Fail(*pDbc, L"HY009", L"Invalid use of null pointer");
    const std::wstring_view connectionString =
        cchConnectionString == SQL_NTS
            ? std::wstring_view(szConnectionString)
            : std::wstring_view(szConnectionString, std::max<SQLSMALLINT>(cchConnectionString, 0));
    return DriverInPlace().Get()->BrowseConnect(pDbc->state, connectionString, szOut, cchOutMax, pcchOut);
}

SQLRETURN SQLDisconnect(Handle* pConnection)
{
    Connection* const pDbc = Checked<Connection>(pConnection);
    if (!pDbc)
        return SQL_INVALID_HANDLE;
    pDbc->state.cachedBrowse.reset();
    return SQL_SUCCESS;
}

SQLRETURN SQLGetDiagFieldW(SQLSMALLINT /*handleType*/, Handle* pHandle, SQLSMALLINT recordNumber,
                           SQLSMALLINT diagIdentifier, SQLINTEGER* pValue)
{
    if (!pHandle)
        return SQL_INVALID_HANDLE;
    if (recordNumber != 0 || diagIdentifier != SQL_DIAG_NUMBER || !pValue)
        return SQL_ERROR;
    *pValue = static_cast<SQLINTEGER>(pHandle->diagnostics.size());
    return SQL_SUCCESS;
}

SQLRETURN SQLGetDiagRecW(SQLSMALLINT /*handleType*/, Handle* pHandle, SQLSMALLINT recordNumber, wchar_t (&szState)[6],
                         SQLINTEGER* pNativeError, wchar_t* szMessage, SQLSMALLINT cchMessageMax,
                         SQLSMALLINT* pcchMessage)
{
    if (!pHandle)
        return SQL_INVALID_HANDLE;
    if (recordNumber < 1)
        return SQL_ERROR;
    if (static_cast<std::size_t>(recordNumber) > pHandle->diagnostics.size())
        return SQL_NO_DATA;
    const DiagnosticRecord& record = pHandle->diagnostics[static_cast<std::size_t>(recordNumber) - 1];
    const std::size_t cchState = std::min<std::size_t>(record.strSqlState.size(), 5);
    std::copy_n(record.strSqlState.begin(), cchState, szState);
    szState[cchState] = L'\0';
    if (pNativeError)
        *pNativeError = record.lNativeError;
    if (pcchMessage)
        *pcchMessage = static_cast<SQLSMALLINT>(std::min<std::size_t>(record.strMessage.size(), 0x7FFF));
    if (!szMessage || cchMessageMax <= 0)
        return SQL_SUCCESS_WITH_INFO;
    const std::size_t cchCopied = std::min(record.strMessage.size(), static_cast<std::size_t>(cchMessageMax - 1));
    std::copy_n(record.strMessage.begin(), cchCopied, szMessage);
    szMessage[cchCopied] = L'\0';
    return cchCopied < record.strMessage.size() ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

CScopedBrowseDriver::CScopedBrowseDriver(std::shared_ptr<IBrowseDriver> pDriver)
    : CScopedInPlace(DriverInPlace(), std::move(pDriver))
{
}

} // namespace platform::browse
