// Database setup: create a product database or bring it up to date, then give the service
// account access to it.

#include "CallFrame.h"
#include "DatabaseKinds.h"
#include "Exports.h"
#include "NameValidation.h"
#include "common/TraceScope.h"

KEEPLIB_API HRESULT KeeplibSetup(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                 const wchar_t* pstrDatabaseName, std::int32_t /*lConnectionTimeout*/,
                                 std::int32_t /*lAuthType*/, const wchar_t* pstrAuthUser,
                                 const wchar_t* /*pstrAuthPassword*/, std::uint32_t lDatabaseType,
                                 const wchar_t* pstrServiceUserName)
{
    TRACE_SCOPE(L"KeeplibSetup()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returing, [&]() -> Keeplibs::FrameOutcome {
        if (!pstrServerName || !pstrDatabaseName || !pstrServiceUserName) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Keeplibs::Abandoned(E_INVALIDARG);
        }
        TRACE_INFO(TRACE_NORMAL, L"bstrDatabaseName='%ls'", pstrDatabaseName);
        TRACE_INFO(TRACE_NORMAL, L"bstrAuthUser='%ls'", pstrAuthUser ? pstrAuthUser : L"");
        TRACE_INFO(TRACE_NORMAL, L"bstrVLServiceUserName='%ls'", pstrServiceUserName);
        if (!Keeplibs::ValidateDatabaseName(pstrDatabaseName)) {
            TRACE_ERROR(TRACE_FAILURE, L"Invalid database name.");
            return Keeplibs::Abandoned(E_INVALIDARG);
        }
        if (!Keeplibs::FindDatabaseKind(lDatabaseType)) {
            TRACE_ERROR(TRACE_FAILURE, L"Invalid database type.");
            return Keeplibs::Abandoned(E_INVALIDARG);
        }
        return Keeplibs::NotImplemented();
    });
}
