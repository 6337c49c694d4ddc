#include "OdbcDiagnostics.h"

#include "OdbcText.h"
#include "common/StringUtils.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace platform::ado::odbc {

namespace {

// SQL Server's native numbers for a refused login (bad password, untrusted domain, expired or
// locked password) and for a database that cannot be opened at login.
constexpr std::array<std::int32_t, 5> kLoginRefusedNativeErrors{18456, 18452, 18486, 18487, 18488};
constexpr std::int32_t kCannotOpenDatabase = 4060;

bool StartsWith(std::wstring_view s, std::wstring_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool HasStateIn(const std::vector<DiagnosticRecord>& records, std::initializer_list<std::wstring_view> states)
{
    return std::any_of(records.begin(), records.end(), [&](const DiagnosticRecord& r) {
        return std::find(states.begin(), states.end(), std::wstring_view(r.strSqlState)) != states.end();
    });
}

bool HasStateClass(const std::vector<DiagnosticRecord>& records, std::wstring_view stateClass)
{
    return std::any_of(records.begin(), records.end(),
                       [&](const DiagnosticRecord& r) { return StartsWith(r.strSqlState, stateClass); });
}

bool HasNativeError(const std::vector<DiagnosticRecord>& records, std::int32_t lNative)
{
    return std::any_of(records.begin(), records.end(),
                       [&](const DiagnosticRecord& r) { return r.lNativeError == lNative; });
}

// States that report what the server or database engine made of the statement: data, integrity,
// cursor and transaction states, access and syntax errors, serialization failures, the driver's
// general error as drivers use it for the server's messages, a message that arrived as a
// warning with the failure, and the ODBC 2 spellings of these.
bool IsRejectedByServer(const DiagnosticRecord& record)
{
    static constexpr std::array<std::wstring_view, 15> kClasses{L"01", L"21", L"22", L"23", L"24", L"25", L"27", L"28",
                                                                L"37", L"3D", L"3F", L"40", L"42", L"44", L"S0"};
    if (record.strSqlState == L"HY000" || record.strSqlState == L"S1000")
        return true;
    return std::any_of(kClasses.begin(), kClasses.end(),
                       [&](std::wstring_view c) { return StartsWith(record.strSqlState, c); });
}

// Splits "[vendor][component]message" into its bracketed prefixes and the message.
std::pair<std::wstring_view, std::wstring_view> SplitPrefixes(std::wstring_view message)
{
    std::size_t pos = 0;
    while (pos < message.size() && message[pos] == L'[') {
        const std::size_t close = message.find(L']', pos);
        if (close == std::wstring_view::npos)
            break;
        pos = close + 1;
    }
    return {message.substr(0, pos), message.substr(pos)};
}

} // namespace

std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::vector<DiagnosticRecord> records;
    if (!handle)
        return records;
    for (SQLSMALLINT iRecord = 1;; ++iRecord) {
        SQLWCHAR state[6] = {};
        SQLINTEGER lNative = 0;
        std::vector<SQLWCHAR> message(512);
        SQLSMALLINT cchMessage = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, iRecord, state, &lNative, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &cchMessage);
        if (rc == SQL_SUCCESS_WITH_INFO && cchMessage >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(cchMessage) + 1);
            rc = SQLGetDiagRecW(handleType, handle, iRecord, state, &lNative, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &cchMessage);
        }
        if (!Succeeded(rc))
            break;
        const std::size_t cchStored =
            std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(cchMessage, 0)), message.size() - 1);
        records.push_back(
            {FromSqlWide(state, -1), lNative, FromSqlWide(message.data(), static_cast<std::ptrdiff_t>(cchStored))});
    }
    return records;
}

OdbcFailure::OdbcFailure(const char* szCall, std::vector<DiagnosticRecord> records)
    : std::runtime_error(std::string(szCall) + " failed"), m_records(std::move(records))
{
}

void ThrowOdbcFailure(const char* szCall, SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::vector<DiagnosticRecord> records = ReadDiagnostics(handleType, handle);
    if (records.empty())
        records.push_back(
            {L"", 0,
             FormatW(L"%ls failed with ODBC return code %d", NarrowToWide(szCall).c_str(), static_cast<int>(rc))});
    throw OdbcFailure(szCall, std::move(records));
}

Error ToAdoError(const DiagnosticRecord& record, std::wstring_view strWhere)
{
    const auto [prefixes, text] = SplitPrefixes(record.strMessage);
    std::wstring strSource;
    if (!record.strSqlState.empty())
        strSource = L"[" + record.strSqlState + L"] ";
    strSource += prefixes.empty() ? std::wstring(L"ODBC") : std::wstring(prefixes);
    if (!strWhere.empty())
        strSource += L" (" + std::wstring(strWhere) + L")";
    return Error{record.lNativeError, std::move(strSource), std::wstring(text.empty() ? record.strMessage : text)};
}

HRESULT HResultForConnectFailure(const std::vector<DiagnosticRecord>& records)
{
    // SQL Server follows "Cannot open database" with "Login failed": the login was not refused,
    // the database is not available there.
    if (HasNativeError(records, kCannotOpenDatabase))
        return E_FAIL;
    const bool bLoginRefused = HasStateClass(records, L"28") ||
                               std::any_of(kLoginRefusedNativeErrors.begin(), kLoginRefusedNativeErrors.end(),
                                           [&](std::int32_t lNative) { return HasNativeError(records, lNative); });
    return bLoginRefused ? DB_SEC_E_AUTH_FAILED : E_FAIL;
}

HRESULT HResultForStatementFailure(const std::vector<DiagnosticRecord>& records, bool bConnectionLost)
{
    if (HasStateIn(records, {L"HYT00", L"HYT01", L"S1T00"}))
        return DB_E_ABORTLIMITREACHED;
    if (bConnectionLost || HasStateClass(records, L"08"))
        return E_FAIL;
    if (std::any_of(records.begin(), records.end(), IsRejectedByServer))
        return DB_E_ERRORSINCOMMAND;
    return E_FAIL;
}

std::vector<DiagnosticRecord> WithTimeoutFirst(std::vector<DiagnosticRecord> records, std::wstring_view message)
{
    records.insert(records.begin(), DiagnosticRecord{L"HYT00", 0, std::wstring(message)});
    return records;
}

bool IsServerUnreachable(const std::vector<DiagnosticRecord>& records)
{
    if (HasNativeError(records, kCannotOpenDatabase))
        return true;
    if (HResultForConnectFailure(records) == DB_SEC_E_AUTH_FAILED)
        return false;
    return HasStateClass(records, L"08") || HasStateIn(records, {L"HYT00", L"HYT01", L"S1T00"});
}

} // namespace platform::ado::odbc
