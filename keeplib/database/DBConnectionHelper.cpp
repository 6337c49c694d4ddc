#include "DBConnectionHelper.h"

#include "CallFrame.h"
#include "FailedCall.h"
#include "common/StringUtils.h"
#include "platform/ado/Provider.h"
#include "trace/ComUtils.h"
#include "trace/TraceScope.h"

#include <cstddef>

namespace UTIL::DBConnectionHelper {
namespace {

void AddToConnectionString(std::wstring& strConnection, const wchar_t* wszNewClause)
{
    THROW_CHECK_FAILURE_IF(wszNewClause == NULL, E_POINTER);
    if (strConnection.empty()) {
        TRACE_INFO(TRACE_NORMAL, L"Adding to a fresh connection string");
        strConnection = wszNewClause;
    } else {
        TRACE_INFO(TRACE_NORMAL, L"Adding to an existing connection string");
        strConnection += L';';
        strConnection += wszNewClause;
    }
}

void AddToConnectionString(std::wstring& strConnection, const std::wstring& strNewClause)
{
    AddToConnectionString(strConnection, strNewClause.c_str());
}

// Builds the OLE DB connection string clause by clause, and fills in the same settings as the
// fields that a real provider connects with.
void ServerConnectionString(const wchar_t* wszSource, std::int32_t lConnectionTimeout, std::int32_t lAuthMethod,
                            const wchar_t* wszUserName, const wchar_t* wszPassword, ConnectionProperties& connection)
{
    std::wstring& strConnection = connection.strConnectionString;
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::ServerConnectionString()");
    TRACE_INFO(TRACE_NORMAL, L"wszSource=%ls", wszSource ? wszSource : L"");
    TRACE_INFO(TRACE_NORMAL, L"lConnectionTimeout=%ld", static_cast<long>(lConnectionTimeout));
    TRACE_INFO(TRACE_NORMAL, L"lAuthMethod=%li", static_cast<long>(lAuthMethod));
    TRACE_INFO(TRACE_NORMAL, L"wszUserName=%ls", wszUserName ? wszUserName : L"");
    THROW_CHECK_FAILURE_IF(wszSource == NULL, E_POINTER);
    std::wstring strDataSource;
    std::wstring strFailoverPartner;
    GetDataSourceAndFailoverPartnerServerNames(wszSource, strDataSource, strFailoverPartner);
    connection.strDataSource = strDataSource;
    connection.strFailoverPartner = strFailoverPartner;

    TRACE_INFO(TRACE_NORMAL, L"Provider");
    if (strFailoverPartner.empty()) {
        TRACE_INFO(TRACE_NORMAL, L"Use provider for non-mirrored SQL");
        AddToConnectionString(strConnection, L"Provider=SQLOLEDB");
    } else {
        TRACE_INFO(TRACE_NORMAL, L"Use provider for mirrored SQL");
        AddToConnectionString(strConnection, L"Provider=SQLNCLI10");
    }
    TRACE_INFO(TRACE_NORMAL, L"Data source");
    AddToConnectionString(strConnection, L"Data Source=" + strDataSource);
    TRACE_INFO(TRACE_NORMAL, L"Failover partner");
    if (!strFailoverPartner.empty())
        AddToConnectionString(strConnection, L"Failover Partner=" + strFailoverPartner);

    TRACE_INFO(TRACE_NORMAL, L"Authentication");
    if (lAuthMethod == 0) {
        TRACE_INFO(TRACE_NORMAL, L"Windows trusted authentication");
        AddToConnectionString(strConnection, L"Trusted_Connection=Yes");
        connection.bIntegratedSecurity = true;
    } else if (lAuthMethod == 1) {
        TRACE_INFO(TRACE_NORMAL, L"SQL non-trusted authentication");
        THROW_CHECK_FAILURE_IF(wszUserName == NULL, E_POINTER);
        THROW_CHECK_FAILURE_IF(wszPassword == NULL, E_POINTER);
        AddToConnectionString(strConnection, std::wstring(L"User ID=") + wszUserName);
        AddToConnectionString(strConnection, std::wstring(L"Password=") + wszPassword);
        connection.bIntegratedSecurity = false;
        connection.strUserId = wszUserName;
        connection.strPassword = wszPassword;
    } else {
        THROW_CHECK_FAILURE_IF(true, E_INVALIDARG);
    }
    TRACE_INFO(TRACE_NORMAL, L"Connection timeout");
    AddToConnectionString(strConnection, FormatW(L"Connect Timeout=%li", static_cast<long>(lConnectionTimeout)));
    connection.lConnectTimeout = lConnectionTimeout;
}

ConnectionProperties DatabaseConnectionStringHelper(const wchar_t* wszSource, const wchar_t* wszDatabase,
                                                    std::int32_t lConnectionTimeout, std::int32_t lAuthMethod,
                                                    const wchar_t* wszUserName, const wchar_t* wszPassword)
{
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::DatabaseConnectionStringHelper()");
    TRACE_INFO(TRACE_NORMAL, L"wszSource=%ls", wszSource ? wszSource : L"");
    TRACE_INFO(TRACE_NORMAL, L"wszDatabase=%ls", wszDatabase ? wszDatabase : L"");
    TRACE_INFO(TRACE_NORMAL, L"lConnectionTimeout=%ld", static_cast<long>(lConnectionTimeout));
    TRACE_INFO(TRACE_NORMAL, L"lAuthMethod=%li", static_cast<long>(lAuthMethod));
    TRACE_INFO(TRACE_NORMAL, L"wszUserName=%ls", wszUserName ? wszUserName : L"");
    THROW_CHECK_FAILURE_IF(wszSource == NULL, E_POINTER);
    THROW_CHECK_FAILURE_IF(wszDatabase == NULL, E_POINTER);
    ConnectionProperties connection;
    ServerConnectionString(wszSource, lConnectionTimeout, lAuthMethod, wszUserName, wszPassword, connection);
    AddToConnectionString(connection.strConnectionString, std::wstring(L"Initial Catalog=") + wszDatabase);
    connection.strInitialCatalog = wszDatabase;
    return connection;
}

std::wstring PointerText(const void* pValue)
{
    return FormatW(L"0x%016llX", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pValue)));
}

void TraceADOErrors(const ConnectionPtr& pCnx)
{
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::`anonymous-namespace'::TraceADOErrors()");
    if (!pCnx) {
        TRACE_INFO(TRACE_NORMAL, L"pCnx is NULL");
        return;
    }
    const std::vector<platform::ado::Error> errors = pCnx->Errors();
    TRACE_INFO(TRACE_NORMAL, L"lCount = %li", static_cast<long>(errors.size()));
    for (std::size_t i = 0; i < errors.size(); ++i)
        TRACE_ERROR(TRACE_FAILURE, L"[%d]: Number=%d Source=%ls Description=%ls ", static_cast<int>(i),
                    errors[i].lNumber, errors[i].strSource.c_str(), errors[i].strDescription.c_str());
}

} // namespace

void GetDataSourceAndFailoverPartnerServerNames(const wchar_t* wszSource, std::wstring& strDataSource,
                                                std::wstring& strFailoverPartner)
{
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::GetDataSourceAndFailoverPartnerServerNames()");
    TRACE_INFO(TRACE_NORMAL, L"wszSource=%ls", wszSource ? wszSource : L"");
    THROW_CHECK_FAILURE_IF(wszSource == NULL, E_POINTER);
    const std::wstring_view source(wszSource);
    const std::size_t separator = source.find(L';');
    TRACE_INFO(TRACE_NORMAL, L"pSeparatorPos=%ls",
               separator == std::wstring_view::npos ? L"(null)" : std::wstring(source.substr(separator)).c_str());
    if (separator == std::wstring_view::npos) {
        TRACE_INFO(TRACE_NORMAL, L"No separator, entire source is data source");
        strDataSource = source;
        strFailoverPartner.clear();
    } else {
        TRACE_INFO(TRACE_NORMAL, L"Separator, split into data source and failover partner");
        strDataSource = source.substr(0, separator);
        strFailoverPartner = source.substr(separator + 1);
    }
    TRACE_INFO(TRACE_NORMAL, L"wstrDataSourceServer=%ls", strDataSource.c_str());
    TRACE_INFO(TRACE_NORMAL, L"wstrFailoverPartnerServer=%ls", strFailoverPartner.c_str());
}

void GetServers(const wchar_t* wszSource, std::vector<std::wstring>& servers)
{
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::GetServers()");
    TRACE_INFO(TRACE_NORMAL, L"wszSource=%ls", wszSource ? wszSource : L"");
    std::wstring strDataSource;
    std::wstring strFailoverPartner;
    GetDataSourceAndFailoverPartnerServerNames(wszSource, strDataSource, strFailoverPartner);
    servers.assign({strDataSource});
    if (!strFailoverPartner.empty())
        servers.push_back(strFailoverPartner);
}

HRESULT Connect(const wchar_t* lpServerName, const wchar_t* lpDatabaseName, ConnectionPtr& pCnx,
                std::int32_t lConnectionTimeout, std::int32_t lAuthType, const wchar_t* lpAuthUser,
                const wchar_t* lpAuthPassword)
{
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::Connect()");
    TRACE_INFO(TRACE_NORMAL, L"lpServerName = '%ls'", lpServerName ? lpServerName : L"");
    TRACE_INFO(TRACE_NORMAL, L"lpDatabaseName = '%ls'", lpDatabaseName ? lpDatabaseName : L"");
    TRACE_INFO(TRACE_NORMAL, L"pCnx = '%ls'", PointerText(pCnx.get()).c_str());
    TRACE_INFO(TRACE_NORMAL, L"lConnectionTimeout = '%ld'", static_cast<long>(lConnectionTimeout));
    TRACE_INFO(TRACE_NORMAL, L"lAuthType = '%ld'", static_cast<long>(lAuthType));
    TRACE_INFO(TRACE_NORMAL, L"lpAuthUser = '%ls'", lpAuthUser ? lpAuthUser : L"");
    return Connect(DatabaseConnectionStringHelper(lpServerName, lpDatabaseName, lConnectionTimeout, lAuthType,
                                                  lpAuthUser, lpAuthPassword),
                   pCnx);
}

HRESULT Connect(const ConnectionProperties& connection, ConnectionPtr& pCnx)
{
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::Connect()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returning, [&] {
        TRACE_INFO(TRACE_NORMAL, L"pCnx = '%ls'", PointerText(pCnx.get()).c_str());
        ConnectionPtr pConnection;
        try {
            pConnection = platform::ado::CurrentProvider().CreateConnection();
        } catch (const UTIL::COM::_com_error& e) {
            return Keeplibs::Abandoned(Keeplibs::TraceFailedCall(e.Error(), L"CoCreateInstance(Connection)"));
        }
        try {
            pConnection->Open(connection);
        } catch (const UTIL::COM::_com_error& e) {
            Keeplibs::TraceFailedCall(e.Error(), L"_ConnectionPtr->Open");
            TraceADOErrors(pConnection);
            return Keeplibs::Abandoned(e.Error());
        }
        pCnx = std::move(pConnection);
        return Keeplibs::Completed();
    });
}

HRESULT Disconnect(ConnectionPtr& pCnx)
{
    TRACE_SCOPE(L"UTIL::DBConnectionHelper::Disconnect()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returning, [&] {
        if (const ConnectionPtr pConnection = std::exchange(pCnx, nullptr)) {
            try {
                pConnection->Close();
            } catch (const UTIL::COM::_com_error& e) {
                TRACE_INFO(TRACE_FAILURE, L"_ConnectionPtr->Close failed with hr=(0x%08x).", HResultBits(e.Error()));
            }
        }
        return Keeplibs::Completed();
    });
}

} // namespace UTIL::DBConnectionHelper
