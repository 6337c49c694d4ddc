// Operations on a whole product database: back up, restore, drop, tell whether it exists, and
// read its schema version.

#include "CallFrame.h"
#include "DatabaseKinds.h"
#include "Exports.h"
#include "NameValidation.h"
#include "common/ComUtils.h"
#include "common/TraceScope.h"

namespace Keeplibs {
namespace {

// The checks that backup and restore share before they connect.
std::optional<FrameOutcome> CheckBackupArguments(const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName,
                                                 const wchar_t* pstrBackupFile)
{
    if (!pstrServerName || !pstrDatabaseName) {
        TRACE_ERROR(TRACE_FAILURE, L"Null imput argument.");
        return Abandoned(E_INVALIDARG);
    }
    if (!ValidateDatabaseName(pstrDatabaseName)) {
        TRACE_ERROR(TRACE_FAILURE, L"Invalid database name.");
        return Abandoned(E_INVALIDARG);
    }
    if (pstrBackupFile && *pstrBackupFile && !ValidateBackupFileName(pstrBackupFile)) {
        TRACE_ERROR(TRACE_FAILURE, L"Invalid backup file name.");
        return Abandoned(E_INVALIDARG);
    }
    return std::nullopt;
}

HRESULT KeeplibBackup(const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibBackup()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        if (const auto refused = CheckBackupArguments(pstrServerName, pstrDatabaseName, pstrBackupFile))
            return *refused;
        return NotImplemented();
    });
}

HRESULT KeeplibRestore(const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibRestore()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        if (const auto refused = CheckBackupArguments(pstrServerName, pstrDatabaseName, pstrBackupFile))
            return *refused;
        return NotImplemented();
    });
}

HRESULT KeeplibDropDatabase(const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibDropDatabase()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        if (!pstrServerName || !pstrDatabaseName) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Abandoned(E_INVALIDARG);
        }
        TRACE_INFO(TRACE_NORMAL, L"Drop database '%ls' from server '%ls'", pstrDatabaseName, pstrServerName);
        if (!ValidateDatabaseName(pstrDatabaseName)) {
            TRACE_ERROR(TRACE_FAILURE, L"Invalid database name.");
            return Abandoned(E_INVALIDARG);
        }
        return NotImplemented();
    });
}

HRESULT KeeplibExistsDatabase(const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibExistsDatabase()");
    return RunInCallFrame(ResultLine::None, [&] {
        THROW_CHECK_FAILURE_IF(!pstrServerName, E_POINTER);
        THROW_CHECK_FAILURE_IF(!pstrDatabaseName, E_POINTER);
        if (!ValidateDatabaseName(pstrDatabaseName)) {
            TRACE_ERROR(TRACE_FAILURE, L"Invalid database name.");
            throw UTIL::COM::_com_error(E_INVALIDARG);
        }
        return NotImplemented();
    });
}

} // namespace
} // namespace Keeplibs

KEEPLIB_API HRESULT KeeplibBackup(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                  const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile,
                                  std::int32_t /*lConnectionTimeout*/, std::int32_t /*lAuthType*/,
                                  const wchar_t* /*pstrAuthUser*/, const wchar_t* /*pstrAuthPassword*/)
{
    TRACE_SCOPE(L"KeeplibBackup()");
    return Keeplibs::KeeplibBackup(pstrServerName, pstrDatabaseName, pstrBackupFile);
}

KEEPLIB_API HRESULT KeeplibRestore(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                   const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile,
                                   std::int32_t /*lConnectionTimeout*/, std::int32_t /*lAuthType*/,
                                   const wchar_t* /*pstrAuthUser*/, const wchar_t* /*pstrAuthPassword*/)
{
    TRACE_SCOPE(L"KeeplibRestore()");
    return Keeplibs::KeeplibRestore(pstrServerName, pstrDatabaseName, pstrBackupFile);
}

KEEPLIB_API HRESULT KeeplibDropDatabase(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                        const wchar_t* pstrDatabaseName, std::int32_t /*lConnectionTimeout*/,
                                        std::int32_t /*lAuthType*/, const wchar_t* /*pstrAuthUser*/,
                                        const wchar_t* /*pstrAuthPassword*/)
{
    TRACE_SCOPE(L"KeeplibDropDatabase()");
    return Keeplibs::KeeplibDropDatabase(pstrServerName, pstrDatabaseName);
}

KEEPLIB_API HRESULT KeeplibExistsDatabase(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                          const wchar_t* pstrDatabaseName, std::int32_t /*lConnectionTimeout*/,
                                          std::int32_t /*lAuthType*/, const wchar_t* /*pstrAuthUser*/,
                                          const wchar_t* /*pstrAuthPassword*/)
{
    TRACE_SCOPE(L"KeeplibExistsDatabase()");
    return Keeplibs::KeeplibExistsDatabase(pstrServerName, pstrDatabaseName);
}

KEEPLIB_API HRESULT KeeplibVersion(std::int32_t /*lCmdTimeout*/, const wchar_t* pstrServerName,
                                   const wchar_t* pstrDatabaseName, std::int32_t* plMajor, std::int32_t* plMinor,
                                   char* /*pszBuild*/, std::int32_t* /*plBuildLength*/,
                                   std::int32_t /*lConnectionTimeout*/, std::int32_t /*lAuthType*/,
                                   const wchar_t* /*pstrAuthUser*/, const wchar_t* /*pstrAuthPassword*/,
                                   std::uint32_t lDatabaseType)
{
    TRACE_SCOPE(L"KeeplibVersion()");
    return Keeplibs::RunInCallFrame(Keeplibs::ResultLine::Returing, [&] {
        if (!pstrServerName || !pstrDatabaseName || !plMajor || !plMinor) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Keeplibs::Abandoned(E_INVALIDARG);
        }
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
