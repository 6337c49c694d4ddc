// Finding SQL Server instances, the type of a local one, and whether a server name fits the
// kinds of server asked for.

#include "CallFrame.h"
#include "Exports.h"
#include "common/ComUtils.h"
#include "common/TraceScope.h"

namespace Keeplibs {
namespace {

HRESULT KeeplibBrowseSQLServers(std::int32_t lType, const wchar_t* pstrSaveListToFile, const wchar_t* pstrUserDomain)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibBrowseSQLServers()");
    return RunInCallFrame(ResultLine::Returning, [&] {
        TRACE_INFO(TRACE_NORMAL, L"lType=%ld", static_cast<long>(lType));
        TRACE_INFO(TRACE_NORMAL, L"pstrSaveListToFile='%ls'", pstrSaveListToFile ? pstrSaveListToFile : L"");
        TRACE_INFO(TRACE_NORMAL, L"pstrUserDomain='%ls'", pstrUserDomain ? pstrUserDomain : L"");
        return NotImplemented();
    });
}

HRESULT KeeplibGetLocalSqlServerType(const wchar_t* pstrServerName, std::int32_t* plType)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibGetLocalSqlServerType()");
    return RunInCallFrame(ResultLine::Returning, [&] {
        // Each check is traced with its own text before it is raised.
        const auto check = [](HRESULT hr, const wchar_t* wszExpression) {
            if (FAILED(hr))
                TRACE_ERROR(TRACE_NORMAL, L"%ls hr=0x%.8X", wszExpression, HResultBits(hr));
            UTIL::COM::ThrowIfFailed(hr);
        };
        check(pstrServerName == nullptr ? E_POINTER : S_OK, L"pstrServerName == NULL ? E_POINTER : S_OK");
        check(plType == nullptr ? E_POINTER : S_OK, L"plType == NULL ? E_POINTER : S_OK");
        return NotImplemented();
    });
}

HRESULT KeeplibValidateSQLServerName(std::int32_t /*lType*/, const wchar_t* pstrServerName)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibValidateSQLServerName()");
    return RunInCallFrame(ResultLine::Returning, [&] {
        if (!pstrServerName) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Abandoned(E_INVALIDARG);
        }
        return NotImplemented();
    });
}

} // namespace
} // namespace Keeplibs

KEEPLIB_API HRESULT KeeplibBrowseSQLServers(std::int32_t lType, const wchar_t* pstrSaveListToFile,
                                            const wchar_t* pstrUserDomain)
{
    TRACE_SCOPE(L"KeeplibBrowseSQLServers()");
    return Keeplibs::KeeplibBrowseSQLServers(lType, pstrSaveListToFile, pstrUserDomain);
}

KEEPLIB_API HRESULT KeeplibGetLocalSqlServerType(const wchar_t* pstrServerName, std::int32_t* plType)
{
    TRACE_SCOPE(L"KeeplibGetLocalSqlServerType()");
    return Keeplibs::KeeplibGetLocalSqlServerType(pstrServerName, plType);
}

KEEPLIB_API HRESULT KeeplibValidateSQLServerName(std::int32_t lType, const wchar_t* pstrServerName)
{
    TRACE_SCOPE(L"KeeplibValidateSQLServerName()");
    return Keeplibs::KeeplibValidateSQLServerName(lType, pstrServerName);
}
