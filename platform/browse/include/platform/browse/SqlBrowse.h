#pragma once
// The ODBC calls of a SQL Server browse, with ODBC's return codes, handle kinds, attributes and
// diagnostic records: an environment, a connection on it, and SQLBrowseConnectW, which answers
// the servers it finds as a browse text ("Server={name,name,...}") in the caller's buffer, or
// SQL_NEED_DATA with the length needed when the buffer is too small.
//
// Who answers is a driver: the SQL Server Resolution Protocol client here, or a test's.

#include "platform/DiagnosticRecord.h"
#include "platform/ProcessWide.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::browse {

using SQLRETURN = std::int16_t;
using SQLSMALLINT = std::int16_t;
using SQLINTEGER = std::int32_t;

constexpr SQLRETURN SQL_SUCCESS = 0;
constexpr SQLRETURN SQL_SUCCESS_WITH_INFO = 1;
constexpr SQLRETURN SQL_NEED_DATA = 99;
constexpr SQLRETURN SQL_NO_DATA = 100;
constexpr SQLRETURN SQL_ERROR = -1;
constexpr SQLRETURN SQL_INVALID_HANDLE = -2;

constexpr SQLSMALLINT SQL_HANDLE_ENV = 1;
constexpr SQLSMALLINT SQL_HANDLE_DBC = 2;

constexpr SQLINTEGER SQL_ATTR_ODBC_VERSION = 200;
constexpr SQLINTEGER SQL_OV_ODBC3 = 3;
constexpr SQLINTEGER SQL_COPT_SS_BROWSE_CONNECT = 1241;
constexpr SQLINTEGER SQL_MORE_INFO_NO = 0;
constexpr SQLINTEGER SQL_COPT_SS_BROWSE_CACHE_DATA = 1245;
constexpr SQLINTEGER SQL_CACHE_DATA_YES = 1;
constexpr SQLINTEGER SQL_IS_INTEGER = -6;
constexpr SQLINTEGER SQL_NTS = -3;
constexpr SQLSMALLINT SQL_DIAG_NUMBER = 2;

using platform::DiagnosticRecord;

// What SQLAllocHandle makes; the caller owns it and gives it back to SQLFreeHandle.
class Handle
{
public:
    virtual ~Handle() = default;
    std::vector<DiagnosticRecord> diagnostics; // of the handle's last call
};
using HandlePtr = std::unique_ptr<Handle>;

// A browse's answer kept for the calls that follow, with the records the browse made: every call
// clears the records of the one before, and a caller that asks again for a larger buffer reads
// the records of that call only.
struct CachedBrowse
{
    std::wstring strText;
    std::vector<DiagnosticRecord> records;
};

// What a driver sees of a connection handle.
struct ConnectionState
{
    bool bBrowseCacheData = false;               // keep the browse answer for the next call
    std::optional<CachedBrowse> cachedBrowse;    // dropped at disconnection
    std::vector<DiagnosticRecord>* pDiagnostics; // the connection's records, for the driver to add to
};

class IBrowseDriver
{
public:
    virtual ~IBrowseDriver() = default;
    // Fills the buffer with as much of the browse text as fits, with a terminator, and sets
    // *pcchOut to the whole text's length. SQL_NEED_DATA is the answer of a browse that went well.
    virtual SQLRETURN BrowseConnect(ConnectionState& connection, std::wstring_view connectionString, wchar_t* szOut,
                                    SQLINTEGER cchOutMax, SQLINTEGER* pcchOut) = 0;
};

SQLRETURN SQLAllocHandle(SQLSMALLINT handleType, Handle* pInput, HandlePtr& pOutput);
SQLRETURN SQLFreeHandle(SQLSMALLINT handleType, HandlePtr& pHandle);
SQLRETURN SQLSetEnvAttr(Handle* pEnvironment, SQLINTEGER attribute, SQLINTEGER value, SQLINTEGER cbValue);
SQLRETURN SQLSetConnectAttrW(Handle* pConnection, SQLINTEGER attribute, SQLINTEGER value, SQLINTEGER cbValue);
SQLRETURN SQLBrowseConnectW(Handle* pConnection, const wchar_t* szConnectionString, SQLSMALLINT cchConnectionString,
                            wchar_t* szOut, SQLINTEGER cchOutMax, SQLINTEGER* pcchOut);
SQLRETURN SQLDisconnect(Handle* pConnection);
// SQL_DIAG_NUMBER of record 0: how many records the handle holds.
SQLRETURN SQLGetDiagFieldW(SQLSMALLINT handleType, Handle* pHandle, SQLSMALLINT recordNumber,
                           SQLSMALLINT diagIdentifier, SQLINTEGER* pValue);
// Record recordNumber (from 1): its state (with a terminator), native error and message, cut to
// the buffer with SQL_SUCCESS_WITH_INFO; SQL_NO_DATA past the last.
SQLRETURN SQLGetDiagRecW(SQLSMALLINT handleType, Handle* pHandle, SQLSMALLINT recordNumber, wchar_t (&szState)[6],
                         SQLINTEGER* pNativeError, wchar_t* szMessage, SQLSMALLINT cchMessageMax,
                         SQLSMALLINT* pcchMessage);
// Puts a driver in place for the life of the guard; otherwise the resolution protocol answers.
class CScopedBrowseDriver : public CScopedInPlace<IBrowseDriver>
{
public:
    explicit CScopedBrowseDriver(std::shared_ptr<IBrowseDriver> pDriver);
};

} // namespace platform::browse
