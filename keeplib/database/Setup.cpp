// Database setup: create a product database or bring it up to date, then give the service
// account access to it.

#include "ArgumentChecks.h"
#include "CallFrame.h"
#include "CmdRunSQL.h"
#include "DBConnectionHelper.h"
#include "DBScriptHelper.h"
#include "DatabaseOperations.h"
#include "FailedCall.h"
#include "common/ComError.h"
#include "common/StringUtils.h"
#include "keeplib/DatabaseKinds.h"
#include "keeplib/Exports.h"
#include "trace/TraceScope.h"

namespace Keeplibs {
namespace {

using platform::ado::ConnectionPtr;

HRESULT KeeplibCreateDatabase(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const wchar_t* wszDatabaseName)
{
    TRACE_SCOPE(L"Keeplibs::KeeplibCreateDatabase()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        const std::wstring D = wszDatabaseName;
        const std::wstring strStatement = L"IF NOT EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'" +
                                          D + L"') BEGIN CREATE DATABASE [" + D + L"] ALTER DATABASE [" + D +
                                          L"] SET AUTO_CLOSE OFF END";
        UTIL::ADO::CCmdRunSQL(lCmdTimeout, pCnx, strStatement.c_str(), false).Run(false);
        return Completed();
    });
}

HRESULT DBAddNTUserAccessRights(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const wchar_t* wszAccount,
                                const wchar_t* wszRole)
{
    TRACE_SCOPE(L"Keeplibs::DBAddNTUserAccessRights()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        std::wstring strBatch;
        const HRESULT hrBuild = DBScriptHelper::BuildAddNTUserAccessRights(wszAccount, wszRole, strBatch);
        if (FAILED(hrBuild))
            return Abandoned(TraceFailedCall(hrBuild, L"BuildAddNTUserAccessRights"));
        UTIL::ADO::CCmdRunSQL(lCmdTimeout, pCnx, strBatch.c_str(), false).Run(false);
        return Completed();
    });
}

// Raises E_FAIL after the failure was traced, as the upgrade steps do.
[[noreturn]] void FailUpgrade(const wchar_t* wszReason)
{
    TRACE_ERROR(TRACE_NORMAL, L"%ls", wszReason);
    throw UTIL::COM::_com_error(E_FAIL);
}

// What setup knows about upgrading each kind: the minor version this library creates, and the one
// older version that a script upgrades.
struct UpgradeStep
{
    std::uint32_t lDatabaseType;
    const wchar_t* wszHeading;
    std::int32_t lCurrentMinor;
    std::int32_t lUpgradableMinor;
    std::int32_t lScriptID; // 0: no upgrade script
    const wchar_t* wszScriptCall;
    const wchar_t* wszTooOld;
};

constexpr UpgradeStep kUpgradeSteps[] = {
    {0, L"Quarantine specific database upgrade", 1, 0, 0, L"",
     L"Attempting to upgrade from a quarantine database that is too old"},
    {1, L"Reporting specific database upgrade", 3, 2, DBScriptHelper::IDR_UPGRADE_RPRT_TFT,
     L"RunScript(lCmdTimeout, pCnx, IDR_UPGRADE_RPRT_TFT)",
     L"Attempting to upgrade from a reporting database that is too old"},
    {3, L"Config specific database upgrade", 2, 1, DBScriptHelper::IDR_UPGRADE_CNFG_FROM_DATA_VER_1,
     L"RunScript(lCmdTimeout, pCnx, IDR_UPGRADE_CNFG_FROM_DATA_VER_1)",
     L"Attempting to upgrade from a config database that is too old"},
    {2, L"Directory specific database upgrade", 2, 1, DBScriptHelper::IDR_UPGRADE_DIR_FROM_VER_1_1,
     L"RunScript(lCmdTimeout, pCnx, IDR_UPGRADE_DIR_FROM_VER_1_1)",
     L"Attempting to upgrade from a directory database that is too old"},
};

// Brings an existing database to the schema version this library creates: at most one upgrade
// script, and only from the one older version it knows.
void UpgradeDatabase(std::int32_t lCmdTimeout, const ConnectionPtr& pCnx, const DatabaseKind& kind)
{
    const std::wstring strProcedure(kind.wszVersionProcedure);
    const HRESULT hrExists = KeeplibExistsStoredProcedure(lCmdTimeout, pCnx, strProcedure.c_str());
    if (FAILED(hrExists))
        throw UTIL::COM::_com_error(
            TraceFailedCall(hrExists, FormatW(L"Keeplibs::KeeplibExistsStoredProcedure(%ls)", strProcedure.c_str())));
    if (hrExists == S_FALSE) {
        TRACE_ERROR(TRACE_FAILURE, L"The database does not have a 'version' stored procedure.");
        throw UTIL::COM::_com_error(E_FAIL);
    }
    std::int32_t lMajor = 0;
    std::int32_t lMinor = 0;
    std::wstring strBuild;
    const HRESULT hrVersion = KeeplibGetVersion(lCmdTimeout, pCnx, kind.lDatabaseType, lMajor, lMinor, strBuild);
    if (FAILED(hrVersion))
        throw UTIL::COM::_com_error(TraceFailedCall(hrVersion, L"KeeplibGetVersion"));
    constexpr const wchar_t* kInstalled[] = {
        L"Quarantine database version %d.%d is already installed.",
        L"Reporting database version %d.%d is already installed.",
        L"Directory database version %d.%d is already installed.",
        L"Configuration database version %d.%d is already installed.",
    };
    TRACE_INFO(TRACE_DETAIL, kInstalled[kind.lDatabaseType], lMajor, lMinor);
    if (lMajor > 1) {
        TRACE_ERROR(TRACE_FAILURE, L"Unable to handle greater versions.");
        throw UTIL::COM::_com_error(E_FAIL);
    }
    // Every kind's step is traced, in this order; only the kind's own acts.
    for (const UpgradeStep& step : kUpgradeSteps) {
        TRACE_INFO(TRACE_NORMAL, L"%ls", step.wszHeading);
        if (step.lDatabaseType != kind.lDatabaseType)
            continue;
        if (step.lScriptID != 0 && lMajor == 1 && lMinor == step.lUpgradableMinor)
            RaiseIfFailed(DBScriptHelper::RunScript(lCmdTimeout, pCnx, step.lScriptID, false), step.wszScriptCall);
        else if (lMajor < 1 || lMinor < step.lCurrentMinor)
            FailUpgrade(step.wszTooOld);
    }
}

} // namespace
} // namespace Keeplibs

KEEPLIB_API HRESULT KeeplibSetup(std::int32_t lCmdTimeout, const wchar_t* pstrServerName,
                                 const wchar_t* pstrDatabaseName, std::int32_t lConnectionTimeout,
                                 std::int32_t lAuthType, const wchar_t* pstrAuthUser, const wchar_t* pstrAuthPassword,
                                 std::uint32_t lDatabaseType, const wchar_t* pstrServiceUserName)
{
    using namespace Keeplibs;
    using UTIL::DBConnectionHelper::Connect;
    using UTIL::DBConnectionHelper::Disconnect;
    TRACE_SCOPE(L"KeeplibSetup()");
    return RunInCallFrame(ResultLine::Returing, [&] {
        if (!pstrServerName || !pstrDatabaseName || !pstrServiceUserName) {
            TRACE_ERROR(TRACE_FAILURE, L"Null input argument.");
            return Abandoned(E_INVALIDARG);
        }
        const wchar_t* const wszUser = pstrAuthUser ? pstrAuthUser : L"";
        const wchar_t* const wszPassword = pstrAuthPassword ? pstrAuthPassword : L"";
        TRACE_INFO(TRACE_NORMAL, L"bstrDatabaseName='%ls'", pstrDatabaseName);
        TRACE_INFO(TRACE_NORMAL, L"bstrAuthUser='%ls'", wszUser);
        TRACE_INFO(TRACE_NORMAL, L"bstrVLServiceUserName='%ls'", pstrServiceUserName);
        if (const auto refused = RefuseInvalidDatabaseName(pstrDatabaseName))
            return *refused;
        const auto kind = FindDatabaseKindOrTrace(lDatabaseType);
        if (!kind)
            return Abandoned(E_INVALIDARG);

        platform::ado::ConnectionPtr pMaster;
        HRESULT hr = Connect(pstrServerName, L"master", pMaster, lConnectionTimeout, lAuthType, wszUser, wszPassword);
        if (FAILED(hr))
            return Abandoned(TraceFailedCall(hr, L"Connect(master)"));
        const HRESULT hrExists = KeeplibExistsDatabase(lCmdTimeout, pMaster, pstrDatabaseName);
        if (FAILED(hrExists))
            return Abandoned(TraceFailedCall(hrExists, L"Keeplibs::KeeplibExistsDatabase"));
        const bool bCreated = hrExists == S_FALSE;
        if (bCreated) {
            hr = KeeplibCreateDatabase(lCmdTimeout, pMaster, pstrDatabaseName);
            if (FAILED(hr))
                return Abandoned(TraceFailedCall(hr, L"Keeplibs::KeeplibCreateDatabase"));
        }
        platform::ado::ConnectionPtr pDatabase;
        hr = Connect(pstrServerName, pstrDatabaseName, pDatabase, lConnectionTimeout, lAuthType, wszUser, wszPassword);
        if (FAILED(hr))
            return Abandoned(TraceFailedCall(hr, FormatW(L"Connect(%ls)", pstrDatabaseName)));
        if (bCreated) {
            hr = DBScriptHelper::RunScript(lCmdTimeout, pDatabase, kind->lCreationScript, false);
            if (FAILED(hr))
                return Abandoned(
                    TraceFailedCall(hr, FormatW(L"RunScript(CREATE, %d)", static_cast<int>(kind->lCreationScript))));
        } else {
            UpgradeDatabase(lCmdTimeout, pDatabase, *kind);
        }
        const std::wstring strRole(kind->wszRole);
        const HRESULT hrAccess = DBAddNTUserAccessRights(lCmdTimeout, pDatabase, pstrServiceUserName, strRole.c_str());
        if (FAILED(hrAccess))
            TRACE_WARNING(TRACE_FAILURE, L"Keeplibs::DBAddNTUserAccessRights failed with hr=(0x%08x).",
                          HResultBits(hrAccess));
        hr = Disconnect(pDatabase);
        if (FAILED(hr))
            return Abandoned(TraceFailedCall(hr, FormatW(L"Disconnect(%ls)", pstrDatabaseName)));
        hr = Disconnect(pMaster);
        if (FAILED(hr))
            return Abandoned(TraceFailedCall(hr, L"Disconnect(master)"));
        return Completed(FAILED(hrAccess) ? S_FALSE : S_OK);
    });
}
