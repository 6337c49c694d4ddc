// Operations on a whole product database: back up, restore, drop, tell whether it exists, and
// read its schema version.

#include "DatabaseOperations.h"

#include <algorithm>

#include "ArgumentChecks.h"
#include "CallFrame.h"
#include "CmdRunSQL.h"
#include "DBConnectionHelper.h"
#include "FailedCall.h"
#include "NameValidation.h"
#include "common/StringUtils.h"
#include "keeplib/DatabaseKinds.h"
#include "keeplib/Exports.h"
#include "platform/Win32Error.h"
#include "trace/ComUtils.h"
#include "trace/TraceScope.h"

namespace Keeplibs {
namespace {

using platform::ado::ConnectionPtr;
using UTIL::DBConnectionHelper::Connect;
using UTIL::DBConnectionHelper::Disconnect;

// The media password of the automatic backup file.
constexpr const wchar_t* kAutoBackupPassword = L"glimmer";

const wchar_t* OrEmpty(const wchar_t* wsz)
{
    return wsz ? wsz : L"";
}
bool IsEmpty(const wchar_t* wsz)
{
    return !wsz || !*wsz;
}

// Runs a statement that returns nothing.
void RunStatement(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const std::wstring& strStatement)
{
    UTIL::ADO::CCmdRunSQL(lCmdTimeout, pCnx, strStatement.c_str(), false).Run(false);
}

// The number of rows a query returns, with the failures its callers share.
std::optional<FrameOutcome> CountRows(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const std::wstring& strQuery,
                                      std::int32_t& lCount)
{
    const platform::ado::RecordsetPtr pRecordset =
        UTIL::ADO::CCmdRunSQL(lCmdTimeout, pCnx, strQuery.c_str(), false).OpenRecordset();
    if (!pRecordset) {
        TRACE_ERROR(TRACE_FAILURE, L"Empty recordset.");
        return Abandoned(E_FAIL);
    }
    lCount = pRecordset->RecordCount();
    if (lCount < 0) {
        TRACE_ERROR(TRACE_FAILURE, L"Negative record count.");
        return Abandoned(E_FAIL);
    }
    return std::nullopt;
}

// The checks that backup and restore share before they connect.
std::optional<FrameOutcome> CheckBackupArguments(const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName,
                                                 const wchar_t* pstrBackupFile)
{
    if (!pstrServerName || !pstrDatabaseName) {
        TRACE_ERROR(TRACE_FAILURE, L"Null imput argument.");
        return Abandoned(E_INVALIDARG);
    }
    if (const auto refused = RefuseInvalidDatabaseName(pstrDatabaseName))
        return refused;
    if (!IsEmpty(pstrBackupFile) && !ValidateBackupFileName(pstrBackupFile)) {
        TRACE_ERROR(TRACE_FAILURE, L"Invalid backup file name.");
        return Abandoned(E_INVALIDARG);
    }
    return std::nullopt;
}

// A connection to "master", or the failure already traced.
std::optional<FrameOutcome> ConnectToMaster(ConnectionPtr& pCnx, const wchar_t* pstrServerName,
                                            std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                                            const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword)
{
    const HRESULT hr = Connect(pstrServerName, L"master", pCnx, lConnectionTimeout, lAuthType, OrEmpty(pstrAuthUser),
                               OrEmpty(pstrAuthPassword));
    if (FAILED(hr))
        return Abandoned(TraceFailedCall(hr, L"Connect(master)"));
    return std::nullopt;
}

// What backup and restore do before their statement: check the arguments and connect to "master".
std::optional<FrameOutcome> CheckAndConnect(ConnectionPtr& pCnx, const wchar_t* pstrServerName,
                                            const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile,
                                            std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                                            const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword)
{
    if (const auto refused = CheckBackupArguments(pstrServerName, pstrDatabaseName, pstrBackupFile))
        return refused;
    return ConnectToMaster(pCnx, pstrServerName, lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword);
}

HRESULT KeeplibBackupDatabaseEx(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const wchar_t* wszDatabaseName,
                                const wchar_t* wszBackupFile)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibBackupDatabaseEx()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        const std::wstring D = wszDatabaseName;
        if (!IsEmpty(wszBackupFile)) {
            RunStatement(lCmdTimeout, pCnx,
                         L"BACKUP DATABASE [" + D + L"] TO DISK=N'" + wszBackupFile +
                             L"' WITH INIT, NOUNLOAD, NAME=N'" + D + L" backup', NOSKIP, STATS=10, NOFORMAT");
            return Completed();
        }
        try {
            RunStatement(lCmdTimeout, pCnx,
                         L"BACKUP DATABASE [" + D + L"] TO DISK=N'B" + D + L".dat' WITH INIT, NOUNLOAD, NAME=N'" + D +
                             L" auto backup', NOSKIP, STATS=10, NOFORMAT, RETAINDAYS=7, PASSWORD='" +
                             kAutoBackupPassword + L"'");
        } catch (const UTIL::COM::_com_error& e) {
            // The server refuses, among others, to overwrite a backup set younger than its
            // retention days.
            if (e.Error() != DB_E_ERRORSINCOMMAND)
                throw;
            TRACE_INFO(TRACE_FAILURE, L"Auto backup failed, maybe a backup has been recently made.");
            return Abandoned(S_FALSE);
        }
        return Completed();
    });
}

HRESULT KeeplibRestoreDatabaseEx(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const wchar_t* wszDatabaseName,
                                 const wchar_t* wszBackupFile)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibRestoreDatabaseEx()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        const std::wstring D = wszDatabaseName;
        if (!IsEmpty(wszBackupFile))
            RunStatement(lCmdTimeout, pCnx,
                         L"RESTORE DATABASE [" + D + L"] FROM  DISK = N'" + wszBackupFile +
                             L"' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  RECOVERY");
        else
            RunStatement(lCmdTimeout, pCnx,
                         L"RESTORE DATABASE [" + D + L"] FROM  DISK = N'B" + D +
                             L".dat' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  RECOVERY, PASSWORD='" +
                             kAutoBackupPassword + L"'");
        return Completed();
    });
}

HRESULT KeeplibBackup(std::int32_t lCmdTimeout, const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName,
                      const wchar_t* pstrBackupFile, std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                      const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibBackup()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        ConnectionPtr pCnx;
        if (const auto stopped = CheckAndConnect(pCnx, pstrServerName, pstrDatabaseName, pstrBackupFile,
                                                 lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword))
            return *stopped;
        const HRESULT hrExists = KeeplibExistsDatabase(lCmdTimeout, pCnx, pstrDatabaseName);
        if (FAILED(hrExists))
            return Abandoned(TraceFailedCall(hrExists, L"KeeplibExistsDatabase"));
        if (hrExists == S_FALSE) {
            TRACE_ERROR(TRACE_FAILURE, L"Database (%ls) does not exist.", pstrDatabaseName);
            return Abandoned(HRESULT_FROM_WIN32(platform::ERROR_FILE_NOT_FOUND));
        }
        const HRESULT hrBackup = KeeplibBackupDatabaseEx(lCmdTimeout, pCnx, pstrDatabaseName, pstrBackupFile);
        if (FAILED(hrBackup))
            return Abandoned(TraceFailedCall(hrBackup, L"KeeplibBackupDatabaseEx"));
        return hrBackup == S_FALSE ? Abandoned(S_FALSE) : Completed();
    });
}

HRESULT KeeplibRestore(std::int32_t lCmdTimeout, const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName,
                       const wchar_t* pstrBackupFile, std::int32_t lConnectionTimeout, std::int32_t lAuthType,
                       const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibRestore()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        ConnectionPtr pCnx;
        if (const auto stopped = CheckAndConnect(pCnx, pstrServerName, pstrDatabaseName, pstrBackupFile,
                                                 lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword))
            return *stopped;
        const HRESULT hrRestore = KeeplibRestoreDatabaseEx(lCmdTimeout, pCnx, pstrDatabaseName, pstrBackupFile);
        if (FAILED(hrRestore))
            return Abandoned(TraceFailedCall(hrRestore, L"KeeplibRestoreDatabaseEx"));
        return Completed();
    });
}

HRESULT KeeplibDropDatabase(std::int32_t lCmdTimeout, const wchar_t* pstrServerName, const wchar_t* pstrDatabaseName,
                            std::int32_t lConnectionTimeout, std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                            const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibDropDatabase()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        if (!pstrServerName || !pstrDatabaseName) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Abandoned(E_INVALIDARG);
        }
        TRACE_INFO(TRACE_NORMAL, L"Drop database '%ls' from server '%ls'", pstrDatabaseName, pstrServerName);
        if (const auto refused = RefuseInvalidDatabaseName(pstrDatabaseName))
            return *refused;
        ConnectionPtr pCnx;
        if (const auto failed =
                ConnectToMaster(pCnx, pstrServerName, lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword))
            return *failed;
        const std::wstring D = pstrDatabaseName;
        RunStatement(lCmdTimeout, pCnx,
                     L"IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'" + D +
                         L"') DROP DATABASE [" + D + L"]");
        return Completed();
    });
}

HRESULT KeeplibExistsDatabaseOnServer(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                      const wchar_t* pstrDatabaseName, std::int32_t lConnectionTimeout,
                                      std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                      const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibExistsDatabase()");
    return RunInCallFrame(ResultLine::None, [&] {
        THROW_CHECK_FAILURE_IF(!pstrServerName, E_POINTER);
        THROW_CHECK_FAILURE_IF(!pstrDatabaseName, E_POINTER);
        if (RefuseInvalidDatabaseName(pstrDatabaseName))
            throw UTIL::COM::_com_error(E_INVALIDARG);
        ConnectionPtr pCnx;
        const HRESULT hrConnect = Connect(pstrServerName, L"master", pCnx, lConnectionTimeout, lAuthType,
                                          OrEmpty(pstrAuthUser), OrEmpty(pstrAuthPassword));
        RaiseIfFailed(hrConnect, L"hrConnect");
        const HRESULT hrExists = KeeplibExistsDatabase(lCmdTimeout, pCnx, pstrDatabaseName);
        RaiseIfFailed(hrExists, L"hrExists");
        return Abandoned(hrExists);
    });
}

} // namespace

HRESULT KeeplibExistsDatabase(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const wchar_t* wszDatabaseName)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibExistsDatabase()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        std::int32_t lCount = 0;
        if (const auto failed = CountRows(lCmdTimeout, pCnx,
                                          std::wstring(L"SELECT name FROM master.dbo.sysdatabases WHERE name = N'") +
                                              wszDatabaseName + L"'",
                                          lCount))
            return *failed;
        if (lCount == 0) {
            TRACE_INFO(TRACE_DETAIL, L"Database does not exist.");
            return Abandoned(S_FALSE);
        }
        TRACE_INFO(TRACE_DETAIL, L"Database already exists.");
        return Abandoned(S_OK);
    });
}

HRESULT KeeplibExistsStoredProcedure(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx,
                                     const wchar_t* wszProcedureName)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibExistsStoredProcedure()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        std::int32_t lCount = 0;
        if (const auto failed = CountRows(lCmdTimeout, pCnx,
                                          std::wstring(L"SELECT name FROM dbo.sysobjects where id = object_id(N'") +
                                              wszProcedureName + L"') and OBJECTPROPERTY(id, N'IsProcedure') = 1",
                                          lCount))
            return *failed;
        return lCount == 0 ? Abandoned(S_FALSE) : Completed();
    });
}

HRESULT KeeplibGetVersion(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, std::uint32_t lDatabaseType,
                          std::int32_t& lMajor, std::int32_t& lMinor, std::wstring& strBuild)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibGetVersion()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        const auto kind = FindDatabaseKindOrTrace(lDatabaseType);
        if (!kind)
            return Abandoned(E_INVALIDARG);
        const std::wstring strProcedure(kind->wszVersionProcedure);
        UTIL::ADO::CCmdRunSQL command(lCmdTimeout, pCnx, strProcedure.c_str(), true);
        command.AddReturnValue();
        // Read by position: the directory database names them @MAJOR, @MINOR and @BUILDDATE.
        const auto pMajor = command.AddOutputParameter(L"@Major_out", platform::ado::DataType::Integer, 0);
        const auto pMinor = command.AddOutputParameter(L"@Minor_out", platform::ado::DataType::Integer, 0);
        const auto pBuild = command.AddOutputParameter(L"@Build_out", platform::ado::DataType::DBTimeStamp, 0);
        command.Run(false);
        if (pMajor->value.Type() != platform::VT_I4) {
            TRACE_ERROR(TRACE_FAILURE, L"Malformed Major Version.");
            return Abandoned(E_UNEXPECTED);
        }
        if (pMinor->value.Type() != platform::VT_I4) {
            TRACE_ERROR(TRACE_FAILURE, L"Malformed Minor Version.");
            return Abandoned(E_UNEXPECTED);
        }
        const auto build = pBuild->value.ChangeTypeToString();
        if (!build) {
            // What VariantChangeType answers for a value that has no text.
            throw UTIL::COM::_com_error(MakeHResult(0x80020005));
        }
        lMajor = pMajor->value.Int32Value();
        lMinor = pMinor->value.Int32Value();
        strBuild = build->StringValue();
        return Completed();
    });
}

} // namespace Keeplibs

KEEPLIB_API HRESULT KeeplibBackup(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                  const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile,
                                  std::int32_t lConnectionTimeout, std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                  const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"KeeplibBackup()");
    return Keeplibs::KeeplibBackup(lCmdTimeout, pstrServerName, pstrDatabaseName, pstrBackupFile, lConnectionTimeout,
                                   lAuthType, pstrAuthUser, pstrAuthPassword);
}

KEEPLIB_API HRESULT KeeplibRestore(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                   const wchar_t* pstrDatabaseName, const wchar_t* pstrBackupFile,
                                   std::int32_t lConnectionTimeout, std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                   const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"KeeplibRestore()");
    return Keeplibs::KeeplibRestore(lCmdTimeout, pstrServerName, pstrDatabaseName, pstrBackupFile, lConnectionTimeout,
                                    lAuthType, pstrAuthUser, pstrAuthPassword);
}

KEEPLIB_API HRESULT KeeplibDropDatabase(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                        const wchar_t* pstrDatabaseName, std::int32_t lConnectionTimeout,
                                        std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                        const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"KeeplibDropDatabase()");
    return Keeplibs::KeeplibDropDatabase(lCmdTimeout, pstrServerName, pstrDatabaseName, lConnectionTimeout, lAuthType,
                                         pstrAuthUser, pstrAuthPassword);
}

KEEPLIB_API HRESULT KeeplibExistsDatabase(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                          const wchar_t* pstrDatabaseName, std::int32_t lConnectionTimeout,
                                          std::int32_t lAuthType, const wchar_t* pstrAuthUser,
                                          const wchar_t* pstrAuthPassword)
{
    TRACE_SCOPE(L"KeeplibExistsDatabase()");
    return Keeplibs::KeeplibExistsDatabaseOnServer(lCmdTimeout, pstrServerName, pstrDatabaseName, lConnectionTimeout,
                                                   lAuthType, pstrAuthUser, pstrAuthPassword);
}

KEEPLIB_API HRESULT KeeplibVersion(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                   const wchar_t* pstrDatabaseName, std::int32_t* plMajor, std::int32_t* plMinor,
                                   char* pszBuild, std::int32_t* plBuildLength, std::int32_t lConnectionTimeout,
                                   std::int32_t lAuthType, const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword,
                                   std::uint32_t lDatabaseType)
{
    using namespace Keeplibs;
    TRACE_SCOPE(L"KeeplibVersion()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        if (!pstrServerName || !pstrDatabaseName || !plMajor || !plMinor) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Abandoned(E_INVALIDARG);
        }
        if (const auto refused = RefuseInvalidDatabaseName(pstrDatabaseName))
            return *refused;
        const auto kind = FindDatabaseKindOrTrace(lDatabaseType);
        if (!kind)
            return Abandoned(E_INVALIDARG);
        ConnectionPtr pCnx;
        const HRESULT hrConnect = Connect(pstrServerName, pstrDatabaseName, pCnx, lConnectionTimeout, lAuthType,
                                          OrEmpty(pstrAuthUser), OrEmpty(pstrAuthPassword));
        if (FAILED(hrConnect))
            return Abandoned(TraceFailedCall(hrConnect, FormatW(L"Connect(%ls)", pstrDatabaseName)));
        const std::wstring strProcedure(kind->wszVersionProcedure);
        const HRESULT hrExists = KeeplibExistsStoredProcedure(lCmdTimeout, pCnx, strProcedure.c_str());
        if (FAILED(hrExists))
            return Abandoned(TraceFailedCall(
                hrExists, FormatW(L"Keeplibs::KeeplibExistsStoredProcedure(%ls)", strProcedure.c_str())));
        if (hrExists == S_FALSE) {
            TRACE_ERROR(TRACE_FAILURE, L"The database does not have a 'version' stored procedure.");
            return Abandoned(E_FAIL);
        }
        std::int32_t lMajor = 0;
        std::int32_t lMinor = 0;
        std::wstring strBuild;
        const HRESULT hrVersion = KeeplibGetVersion(lCmdTimeout, pCnx, lDatabaseType, lMajor, lMinor, strBuild);
        if (FAILED(hrVersion))
            return Abandoned(TraceFailedCall(hrVersion, L"KeeplibGetVersion"));
        const HRESULT hrDisconnect = Disconnect(pCnx);
        if (FAILED(hrDisconnect))
            return Abandoned(TraceFailedCall(hrDisconnect, FormatW(L"Disconnect(%ls)", pstrDatabaseName)));
        *plMajor = lMajor;
        *plMinor = lMinor;
        if (pszBuild && plBuildLength) {
            if (*plBuildLength < 1) {
                *plBuildLength = 0;
            } else {
                const std::string strNarrow = WideToNarrow(strBuild);
                const auto cchCopy = std::min(strNarrow.size(), static_cast<std::size_t>(*plBuildLength - 1));
                std::copy_n(strNarrow.data(), cchCopy, pszBuild);
                pszBuild[cchCopy] = '\0';
                *plBuildLength = static_cast<std::int32_t>(cchCopy);
            }
        }
        return Completed();
    });
}
