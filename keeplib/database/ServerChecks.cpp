// Checks of a SQL Server instance: its version, and whether the login holds a server role.

#include "CallFrame.h"
#include "CmdRunSQL.h"
#include "DBConnectionHelper.h"
#include "FailedCall.h"
#include "common/StringUtils.h"
#include "keeplib/Exports.h"
#include "trace/ComUtils.h"
#include "trace/TraceScope.h"

#include <cwchar>
#include <sstream>

namespace Keeplibs {
namespace {

using platform::ado::ConnectionPtr;
using platform::ado::RecordsetPtr;

// SQL Server 2000 and MSDE 2000 report 8.0.
constexpr std::int32_t kMinimumVersion = 0x80000;

bool IsSqlSupportedVersion(std::int32_t lVersion, const wchar_t* wszCharacterValue)
{
    TRACE_INFO(TRACE_NORMAL, L"lVersion=%d", lVersion);
    TRACE_INFO(TRACE_NORMAL, L"wszCharacterValue=%ls", wszCharacterValue ? wszCharacterValue : L"");
    THROW_CHECK_FAILURE_IF(wszCharacterValue == NULL, E_POINTER);
    if (lVersion >= kMinimumVersion)
        return true;
    TRACE_INFO(TRACE_FAILURE, L"Instance version less than SQL Server 2000/MSDE");
    return false;
}

// One field of the current row, read as ADO reads it: the lookup fails for a field the result
// does not have, the value for a result without rows. Each failure is traced with its code.
HRESULT ReadField(const platform::ado::Recordset& recordset, const wchar_t* wszField, platform::Variant& value)
{
    if (!recordset.HasField(wszField))
        return TraceFailedCall(platform::ado::ADO_E_ITEM_NOT_FOUND, FormatW(L"Fields->get_Item[%ls]", wszField));
    std::optional<platform::Variant> fieldValue = recordset.FieldValue(wszField);
    if (!fieldValue)
        return TraceFailedCall(platform::ado::ADO_E_NO_CURRENT_RECORD, FormatW(L"Field[%ls]->get_Value", wszField));
    value = std::move(*fieldValue);
    return S_OK;
}

HRESULT KeeplibInstanceVersion(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, std::int32_t& lVersion,
                               std::wstring& strVersion)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibInstanceVersion()");
    strVersion.clear();
    return RunInCallFrame(ResultLine::Returing, [&] {
        const RecordsetPtr pRecordset =
            UTIL::ADO::CCmdRunSQL(lCmdTimeout, pCnx, L"xp_msver 'ProductVersion'", false).OpenRecordset();
        if (!pRecordset) {
            TRACE_ERROR(TRACE_FAILURE, L"Empty recordset.");
            return Abandoned(E_FAIL);
        }
        if (pRecordset->RecordCount() < 0) {
            TRACE_ERROR(TRACE_FAILURE, L"Negative record count.");
            return Abandoned(E_FAIL);
        }
        platform::Variant internalValue;
        if (const HRESULT hr = ReadField(*pRecordset, L"Internal_Value", internalValue); FAILED(hr))
            return Abandoned(hr);
        if (internalValue.Type() != platform::VT_I4) {
            TRACE_ERROR(TRACE_FAILURE, L"Field[Internal_Value]->get_Value is not VT_I4.");
            return Abandoned(E_UNEXPECTED);
        }
        platform::Variant characterValue;
        if (const HRESULT hr = ReadField(*pRecordset, L"Character_Value", characterValue); FAILED(hr))
            return Abandoned(hr);
        if (characterValue.Type() != platform::VT_BSTR) {
            TRACE_ERROR(TRACE_FAILURE, L"Field[Character_Value]->get_Value is not VT_BSTR.");
            return Abandoned(E_UNEXPECTED);
        }
        lVersion = internalValue.Int32Value();
        strVersion = characterValue.StringValue();
        return Completed();
    });
}

HRESULT KeeplibSQLServerCheck(std::int32_t lCmdTimeout, const wchar_t* pstrServerName, std::int32_t lConnectionTimeout,
                              std::int32_t lAuthType, const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibSQLServerCheck()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        TRACE_INFO(TRACE_NORMAL, L"pstrServerName = '%ls'", pstrServerName ? pstrServerName : L"");
        if (!pstrServerName) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Abandoned(E_INVALIDARG);
        }
        const wchar_t* const wszUser = pstrAuthUser ? pstrAuthUser : L"";
        const wchar_t* const wszPassword = pstrAuthPassword ? pstrAuthPassword : L"";
        std::vector<std::wstring> servers;
        UTIL::DBConnectionHelper::GetServers(pstrServerName, servers);
        for (const std::wstring& strServer : servers) {
            TRACE_INFO(TRACE_NORMAL, L"Processing server: %ls", strServer.c_str());
            ConnectionPtr pCnx;
            HRESULT hr = UTIL::DBConnectionHelper::Connect(strServer.c_str(), L"master", pCnx, lConnectionTimeout,
                                                           lAuthType, wszUser, wszPassword);
            if (FAILED(hr))
                return Abandoned(TraceFailedCall(hr, L"Connect(master)"));
            std::int32_t lVersion = 0;
            std::wstring strVersion;
            hr = KeeplibInstanceVersion(lCmdTimeout, pCnx, lVersion, strVersion);
            if (FAILED(hr))
                return Abandoned(TraceFailedCall(hr, L"Keeplibs::KeeplibInstanceVersion"));
            hr = UTIL::DBConnectionHelper::Disconnect(pCnx);
            if (FAILED(hr))
                return Abandoned(TraceFailedCall(hr, L"Disconnect(master)"));
            bool bSupported = true;
            try {
                bSupported = IsSqlSupportedVersion(lVersion, strVersion.c_str());
            } catch (...) {
                TRACE_CAUGHT_EXCEPTION();
            }
            if (!bSupported) {
                TRACE_INFO(TRACE_NORMAL, L"Success - But version is old");
                return Abandoned(S_FALSE);
            }
        }
        return Completed();
    });
}

// IS_SRVROLEMEMBER on one server: S_OK member, S_FALSE not.
HRESULT QueryRoleMembership(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const std::wstring& strQuery)
{
    const RecordsetPtr ptrRecordset = UTIL::ADO::CCmdRunSQL(lCmdTimeout, pCnx, strQuery.c_str(), false).OpenRecordset();
    THROW_CHECK_FAILURE_IF(!ptrRecordset, E_FAIL);
    const std::int32_t nRecordCount = ptrRecordset->RecordCount();
    TRACE_INFO(TRACE_NORMAL, L"nRecordCount=%d", nRecordCount);
    THROW_CHECK_FAILURE_IF(nRecordCount != 1, E_FAIL);
    const auto ptrField = ptrRecordset->FieldValue(L"SrvRoleMember");
    THROW_CHECK_FAILURE_IF(!ptrField, E_FAIL);
    const platform::Variant& varValue = *ptrField;
    TRACE_INFO(TRACE_NORMAL, L"V_VT(&varValue)=%hu", static_cast<unsigned short>(varValue.Type()));
    // An unknown role answers NULL.
    if (varValue.Type() != platform::VT_I4)
        UTIL::COM::ThrowCheckFailure(E_FAIL, __LINE__, __FILE__, "V_VT(&varValue) != VT_I4");
    TRACE_INFO(TRACE_NORMAL, L"V_I4(&varValue)=%ld", static_cast<long>(varValue.Int32Value()));
    return varValue.Int32Value() == 0 ? S_FALSE : S_OK;
}

HRESULT KeeplibSQLServerCheckSvrRole(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                     std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                                     const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword,
                                     const wchar_t* pstrSvrRole)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibSQLServerCheckSvrRole()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        TRACE_INFO(TRACE_NORMAL, L"lCmdTimeout=%ld", static_cast<long>(lCmdTimeout));
        TRACE_INFO(TRACE_NORMAL, L"pstrServerName=%ls", pstrServerName ? pstrServerName : L"");
        TRACE_INFO(TRACE_NORMAL, L"lConnectionTimeout=%ld", static_cast<long>(lConnectionTimeout));
        TRACE_INFO(TRACE_NORMAL, L"lAuthType=%ld", static_cast<long>(lAuthType));
        TRACE_INFO(TRACE_NORMAL, L"pstrAuthUser=%ls", pstrAuthUser ? pstrAuthUser : L"");
        TRACE_INFO(TRACE_NORMAL, L"pstrSvrRole=%ls", pstrSvrRole ? pstrSvrRole : L"");
        THROW_CHECK_FAILURE_IF(pstrServerName == NULL, E_POINTER);
        THROW_CHECK_FAILURE_IF(wcslen(pstrServerName) == 0, E_INVALIDARG);
        THROW_CHECK_FAILURE_IF(pstrSvrRole == NULL, E_POINTER);
        THROW_CHECK_FAILURE_IF(wcslen(pstrSvrRole) == 0, E_INVALIDARG);

        TRACE_INFO(TRACE_NORMAL, L"Build the query");
        std::wostringstream query;
        query << L"SELECT IS_SRVROLEMEMBER('";
        UTIL::ADO::CCmdRunSQL::QuoteString(query, pstrSvrRole);
        query << L"') AS [" << L"SrvRoleMember" << L"]";
        const std::wstring wstrSqlQuery = query.str();
        TRACE_INFO(TRACE_NORMAL, L"wstrSqlQuery=%ls", wstrSqlQuery.c_str());

        std::vector<std::wstring> servers;
        UTIL::DBConnectionHelper::GetServers(pstrServerName, servers);
        // A member only when every server of a mirrored pair says so: after a failover the
        // partner decides, and before it the principal does.
        HRESULT hrMembership = S_OK;
        for (const std::wstring& strServer : servers) {
            TRACE_INFO(TRACE_NORMAL, L"Processing server: %ls", strServer.c_str());
            TRACE_INFO(TRACE_NORMAL, L"Establish the connection");
            ConnectionPtr pCnx;
            RaiseIfFailed(UTIL::DBConnectionHelper::Connect(strServer.c_str(), L"master", pCnx, lConnectionTimeout,
                                                            lAuthType, pstrAuthUser ? pstrAuthUser : L"",
                                                            pstrAuthPassword ? pstrAuthPassword : L""),
                          L"UTIL::DBConnectionHelper::Connect(wstrServer.c_str(), L\"master\", ptrConnection, "
                          L"lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword)");
            HRESULT hrResult = E_UNEXPECTED;
            try {
                hrResult = QueryRoleMembership(lCmdTimeout, pCnx, wstrSqlQuery);
            } catch (...) {
                hrResult = TRACE_CAUGHT_EXCEPTION();
            }
            try {
                UTIL::DBConnectionHelper::Disconnect(pCnx);
            } catch (...) {
                TRACE_CAUGHT_EXCEPTION();
            }
            if (FAILED(hrResult))
                return Abandoned(TraceFailedResult(hrResult, L"hrResult"));
            if (hrResult == S_FALSE)
                hrMembership = S_FALSE;
        }
        return Completed(hrMembership);
    });
}

} // namespace
} // namespace Keeplibs

KEEPLIB_API HRESULT KeeplibSQLServerCheck(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                          std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                                          const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"KeeplibSQLServerCheck()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returing, [&] {
        // The condition is traced as it is written here.
        // clang-format off
        THROW_CHECK_FAILURE_IF(! pstrServerName, E_INVALIDARG);
        // clang-format on
        const HRESULT hrSQLServerCheck = Keeplibs::KeeplibSQLServerCheck(
            lCmdTimeout, pstrServerName, lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword);
        Keeplibs::RaiseIfFailed(hrSQLServerCheck, L"hrSQLServerCheck");
        return Keeplibs::Completed(hrSQLServerCheck == S_FALSE ? S_FALSE : S_OK);
    });
}

KEEPLIB_API HRESULT KeeplibSQLServerCheckSvrRole(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                                 std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                                                 const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword,
                                                 const wchar_t* pstrSvrRole)
{
    TRACE_SCOPE(L"KeeplibSQLServerCheckSvrRole()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returing, [&] {
        THROW_CHECK_FAILURE_IF(!pstrServerName, E_POINTER);
        const HRESULT hrResult = Keeplibs::KeeplibSQLServerCheckSvrRole(
            lCmdTimeout, pstrServerName, lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword, pstrSvrRole);
        TRACE_INFO(TRACE_NORMAL, L"hrResult=0x%08X", HResultBits(hrResult));
        Keeplibs::RaiseIfFailed(hrResult, L"hrResult");
        return Keeplibs::Completed(hrResult);
    });
}
