// Checks of a SQL Server instance: its version, and whether the login holds a server role.

#include "CallFrame.h"
#include "Exports.h"
#include "common/ComUtils.h"
#include "common/TraceScope.h"

KEEPLIB_API HRESULT KeeplibSQLServerCheck(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                          std::int32_t /*lConnectionTimeout*/, std::int32_t /*lAuthType*/,
                                          const wchar_t* /*pstrAuthUser*/, const wchar_t* /*pstrAuthPassword*/)
{
    TRACE_SCOPE(L"KeeplibSQLServerCheck()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returing, [&] {
        THROW_CHECK_FAILURE_IF(! pstrServerName, E_INVALIDARG);
        return Keeplibs::NotImplemented();
    });
}

KEEPLIB_API HRESULT KeeplibSQLServerCheckSvrRole(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                                 std::int32_t /*lConnectionTimeout*/, std::int32_t /*lAuthType*/,
                                                 const wchar_t* /*pstrAuthUser*/,
                                                 const wchar_t* /*pstrAuthPassword*/, const wchar_t* /*pstrSvrRole*/)
{
    TRACE_SCOPE(L"KeeplibSQLServerCheckSvrRole()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returing, [&] {
        THROW_CHECK_FAILURE_IF(!pstrServerName, E_POINTER);
        return Keeplibs::NotImplemented();
    });
}
