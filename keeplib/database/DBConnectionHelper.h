#pragma once
// Opens and closes the connections every operation works on, from a server name, a database
// name, a timeout and the authentication choice.

#include "common/HResult.h"
#include "platform/ado/Ado.h"

#include <cstdint>
#include <string>
#include <vector>

namespace UTIL::DBConnectionHelper {

using platform::ado::ConnectionProperties;
using platform::ado::ConnectionPtr;

// Builds the connection string and opens it. Bad arguments reach the caller as _com_error.
HRESULT Connect(const wchar_t* lpServerName, const wchar_t* lpDatabaseName, ConnectionPtr& pCnx,
                std::int32_t lConnectionTimeout, std::int32_t lAuthType, const wchar_t* lpAuthUser,
                const wchar_t* lpAuthPassword);
// Opens a connection with the connection string and its settings; on S_OK pCnx holds the open
// connection.
HRESULT Connect(const ConnectionProperties& connection, ConnectionPtr& pCnx);
// Closes and releases the connection, if there is one; a failing close is only traced.
HRESULT Disconnect(ConnectionPtr& pCnx);

// The data-source server, then the failover partner when the source names one.
void GetServers(const wchar_t* wszSource, std::vector<std::wstring>& servers);
// Splits "principal;partner" at the first semicolon.
void GetDataSourceAndFailoverPartnerServerNames(const wchar_t* wszSource, std::wstring& strDataSource,
                                                std::wstring& strFailoverPartner);

} // namespace UTIL::DBConnectionHelper
