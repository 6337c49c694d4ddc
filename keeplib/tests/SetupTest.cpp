#include "FakeServer.h"
#include "database/DBScriptHelper.h"
#include "keeplib/Exports.h"

namespace {

const std::wstring kProcedureQuery = L"SELECT name FROM dbo.sysobjects where id = object_id(N'";

std::vector<std::wstring> ScriptBatches(std::int32_t lScriptID)
{
    std::wstring strText;
    EXPECT_EQ(DBScriptHelper::LoadScript(lScriptID, strText), S_OK);
    std::vector<std::wstring> batches;
    const wchar_t* pCursor = strText.c_str();
    std::wstring strBatch;
    while (DBScriptHelper::GetNextBatch(pCursor, strBatch) == S_OK)
        batches.push_back(strBatch);
    return batches;
}

std::wstring AccessBatch(const wchar_t* wszRole)
{
    std::wstring strBatch;
    EXPECT_EQ(DBScriptHelper::BuildAddNTUserAccessRights(L"CORP\\svc", wszRole, strBatch), S_OK);
    return strBatch;
}

} // namespace

class SetupTest : public FakeServerTest
{
protected:
    HRESULT RunSetup(const wchar_t* wszDatabase, std::uint32_t lDatabaseType)
    {
        return KeeplibSetup(90, L"SQL01", wszDatabase, 15, 0, nullptr, nullptr, lDatabaseType, L"CORP\\svc");
    }
    std::vector<std::wstring> Opens() const
    {
        std::vector<std::wstring> opens;
        for (const std::wstring& strLine : Log())
            if (strLine.starts_with(L"Open: ") || strLine == L"Close")
                opens.push_back(strLine);
        return opens;
    }
};

TEST_F(SetupTest, NewDatabaseIsCreatedFromItsScriptAndTheAccountGetsAccess)
{
    struct NewCase
    {
        const wchar_t* wszDatabase;
        std::uint32_t lDatabaseType;
        std::int32_t lScript;
        std::size_t nBatches;
        const wchar_t* wszRole;
    };
    const NewCase cases[] = {
        {L"KorvoQuar", 0, 103, 26, L"VestrelQuarUser"},
        {L"KorvoRprt", 1, 104, 31, L"VestrelRprtUser"},
        {L"KorvoDir", 2, 106, 36, L"VestrelDirUser"},
        {L"KorvoCnfg", 3, 107, 20, L"VestrelCnfgUser"},
    };
    for (const NewCase& c : cases) {
        m_pServer = std::make_shared<testsupport::CFakeProvider>();
        const platform::ado::CScopedProvider provider(m_pServer);
        EXPECT_EQ(RunSetup(c.wszDatabase, c.lDatabaseType), S_OK);
        const std::wstring D = c.wszDatabase;
        std::vector<std::wstring> expected{
            L"SELECT name FROM master.dbo.sysdatabases WHERE name = N'" + D + L"'",
            L"IF NOT EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'" + D +
                L"') BEGIN CREATE DATABASE [" + D + L"] ALTER DATABASE [" + D + L"] SET AUTO_CLOSE OFF END",
        };
        const auto batches = ScriptBatches(c.lScript);
        EXPECT_EQ(batches.size(), c.nBatches);
        expected.insert(expected.end(), batches.begin(), batches.end());
        expected.push_back(AccessBatch(c.wszRole));
        EXPECT_EQ(Statements(), expected) << c.lScript;
        EXPECT_EQ(Opens(), (std::vector<std::wstring>{
                               L"Open: Provider=SQLOLEDB;Data Source=SQL01;Trusted_Connection=Yes;Connect Timeout=15;"
                               L"Initial Catalog=master",
                               L"Open: Provider=SQLOLEDB;Data Source=SQL01;Trusted_Connection=Yes;Connect Timeout=15;"
                               L"Initial Catalog=" +
                                   D,
                               L"Close", L"Close"}));
    }
    EXPECT_TRUE(Traced("INF: Returing, hrResult=0x00000000"));
}

namespace {

struct UpgradeCase
{
    const char* szName;
    const wchar_t* wszDatabase;
    std::uint32_t lDatabaseType;
    const wchar_t* wszProcedure;
    std::int32_t lMajor, lMinor;
    std::int32_t lUpgradeScript; // 0: none
    std::size_t nUpgradeBatches;
    HRESULT hr;
    const char* szTraced;
};

} // namespace

TEST_F(SetupTest, ExistingDatabaseIsUpgradedOnlyFromTheVersionItKnows)
{
    const UpgradeCase cases[] = {
        {"quarantine 1.1", L"KorvoQuar", 0, L"[dbo].[SPQuarVersion]", 1, 1, 0, 0, S_OK,
         "INF: Quarantine database version 1.1 is already installed."},
        {"quarantine 1.0", L"KorvoQuar", 0, L"[dbo].[SPQuarVersion]", 1, 0, 0, 0, E_FAIL,
         "ERR: Attempting to upgrade from a quarantine database that is too old"},
        {"reporting 1.2", L"KorvoRprt", 1, L"[dbo].[SPRprtVersion]", 1, 2, 108, 7, S_OK,
         "INF: Reporting database version 1.2 is already installed."},
        {"reporting 1.3", L"KorvoRprt", 1, L"[dbo].[SPRprtVersion]", 1, 3, 0, 0, S_OK, "INF: Success"},
        {"reporting 1.1", L"KorvoRprt", 1, L"[dbo].[SPRprtVersion]", 1, 1, 0, 0, E_FAIL,
         "ERR: Attempting to upgrade from a reporting database that is too old"},
        {"directory 1.1", L"KorvoDir", 2, L"[dbo].[SPDirectoryVersion]", 1, 1, 114, 3, S_OK,
         "INF: Directory database version 1.1 is already installed."},
        {"directory 1.0", L"KorvoDir", 2, L"[dbo].[SPDirectoryVersion]", 1, 0, 0, 0, E_FAIL,
         "ERR: Attempting to upgrade from a directory database that is too old"},
        {"configuration 1.1", L"KorvoCnfg", 3, L"[dbo].[SPCnfgVersion]", 1, 1, 113, 3, S_OK,
         "INF: Configuration database version 1.1 is already installed."},
        {"configuration 1.0", L"KorvoCnfg", 3, L"[dbo].[SPCnfgVersion]", 1, 0, 0, 0, E_FAIL,
         "ERR: Attempting to upgrade from a config database that is too old"},
        {"configuration 1.5", L"KorvoCnfg", 3, L"[dbo].[SPCnfgVersion]", 1, 5, 0, 0, S_OK, "INF: Success"},
        {"reporting 2.0", L"KorvoRprt", 1, L"[dbo].[SPRprtVersion]", 2, 0, 0, 0, E_FAIL,
         "ERR: Unable to handle greater versions."},
    };
    for (const UpgradeCase& c : cases) {
        SCOPED_TRACE(c.szName);
        m_pServer = std::make_shared<testsupport::CFakeProvider>();
        const platform::ado::CScopedProvider provider(m_pServer);
        DatabaseExists(c.wszDatabase);
        VersionIs(c.wszProcedure, c.lMajor, c.lMinor);
        EXPECT_EQ(RunSetup(c.wszDatabase, c.lDatabaseType), c.hr);
        EXPECT_TRUE(Traced(c.szTraced));

        std::vector<std::wstring> expected{
            L"SELECT name FROM master.dbo.sysdatabases WHERE name = N'" + std::wstring(c.wszDatabase) + L"'",
            kProcedureQuery + c.wszProcedure + L"') and OBJECTPROPERTY(id, N'IsProcedure') = 1",
            c.wszProcedure,
        };
        if (c.lUpgradeScript) {
            const auto batches = ScriptBatches(c.lUpgradeScript);
            EXPECT_EQ(batches.size(), c.nUpgradeBatches);
            expected.insert(expected.end(), batches.begin(), batches.end());
        }
        if (SUCCEEDED(c.hr)) {
            constexpr const wchar_t* kRoles[] = {L"VestrelQuarUser", L"VestrelRprtUser", L"VestrelDirUser",
                                                 L"VestrelCnfgUser"};
            expected.push_back(AccessBatch(kRoles[c.lDatabaseType]));
        }
        EXPECT_EQ(Statements(), expected);
    }
}

TEST_F(SetupTest, GreaterVersionIsRefusedBeforeAnyUpgradeText)
{
    DatabaseExists(L"KorvoCnfg");
    VersionIs(L"[dbo].[SPCnfgVersion]", 2, 0);
    EXPECT_EQ(RunSetup(L"KorvoCnfg", 3), E_FAIL);
    EXPECT_TRUE(Traced("ERR: Unable to handle greater versions."));
    EXPECT_FALSE(Traced("INF: Quarantine specific database upgrade"));
}

TEST_F(SetupTest, DatabaseWithoutVersionProcedureIsLeftAlone)
{
    DatabaseExists(L"KorvoQuar");
    EXPECT_EQ(RunSetup(L"KorvoQuar", 0), E_FAIL);
    EXPECT_TRUE(Traced("ERR: The database does not have a 'version' stored procedure."));
    EXPECT_EQ(Statements().size(), 2u);
}

TEST_F(SetupTest, FailedAccessBatchStillLeavesTheDatabaseInPlace)
{
    DatabaseExists(L"KorvoQuar");
    VersionIs(L"[dbo].[SPQuarVersion]", 1, 1);
    Fail(L"DECLARE @ntaccount", DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(RunSetup(L"KorvoQuar", 0), S_FALSE);
    EXPECT_TRUE(Traced("WAR: Keeplibs::DBAddNTUserAccessRights failed with hr=(0x80040e14)."));
    EXPECT_EQ(Log().back(), L"Close");
}

TEST_F(SetupTest, FailingCreationScriptStopsWithTheServersCode)
{
    const auto batches = ScriptBatches(107);
    Fail(batches[4], DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(RunSetup(L"KorvoCnfg", 3), DB_E_ERRORSINCOMMAND);
    EXPECT_TRUE(Traced("ERR: RunScript(CREATE, 107) failed with hr=(0x80040e14)."));
    EXPECT_EQ(Statements().size(), 2u + 5u);
}

TEST_F(SetupTest, UnreachableServerFailsWithTheConnectionsCode)
{
    FailOpen(L"Data Source=SQL01", E_FAIL);
    EXPECT_EQ(RunSetup(L"KorvoQuar", 0), E_FAIL);
    EXPECT_TRUE(Traced("ERR: Connect(master) failed with hr=(0x80004005)."));
    EXPECT_TRUE(Statements().empty());
}

TEST_F(SetupTest, AFailingUpgradeStopsWithTheServersCodeAndGrantsNothing)
{
    DatabaseExists(L"KorvoRprt");
    VersionIs(L"[dbo].[SPRprtVersion]", 1, 2);
    const auto batches = ScriptBatches(DBScriptHelper::IDR_UPGRADE_RPRT_TFT);
    Fail(batches[2], DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(RunSetup(L"KorvoRprt", 1), DB_E_ERRORSINCOMMAND);
    EXPECT_TRUE(Traced("ERR: RunScript(lCmdTimeout, pCnx, IDR_UPGRADE_RPRT_TFT) hr=0x80040E14"));
    EXPECT_TRUE(Traced("INF: Returing, hrResult=0x80040E14"));
    // The batches after the failing one are not sent, nor is the access batch.
    const std::vector<std::wstring> statements = Statements();
    EXPECT_EQ(statements.back(), batches[2]);
    EXPECT_EQ(std::count(statements.begin(), statements.end(), AccessBatch(L"VestrelRprtUser")), 0);
}

TEST_F(SetupTest, AProductDatabaseThatCannotBeOpenedFailsWithItsCode)
{
    DatabaseExists(L"KorvoQuar");
    FailOpen(L"Initial Catalog=KorvoQuar", E_FAIL);
    EXPECT_EQ(RunSetup(L"KorvoQuar", 0), E_FAIL);
    EXPECT_TRUE(Traced("ERR: Connect(KorvoQuar) failed with hr=(0x80004005)."));
    EXPECT_EQ(Opens(), (std::vector<std::wstring>{
                           L"Open: Provider=SQLOLEDB;Data Source=SQL01;Trusted_Connection=Yes;Connect Timeout=15;"
                           L"Initial Catalog=master",
                           L"Open: Provider=SQLOLEDB;Data Source=SQL01;Trusted_Connection=Yes;Connect Timeout=15;"
                           L"Initial Catalog=KorvoQuar"}));
    EXPECT_EQ(Statements().size(), 1u) << "nothing but the existence test";
}

TEST_F(SetupTest, EveryKindsUpgradeStepIsTracedInOrder)
{
    DatabaseExists(L"KorvoCnfg");
    VersionIs(L"[dbo].[SPCnfgVersion]", 1, 2);
    EXPECT_EQ(RunSetup(L"KorvoCnfg", 3), S_OK);
    std::vector<std::string> headings;
    for (const std::string& strMessage : TracedMessages())
        if (strMessage.ends_with("specific database upgrade"))
            headings.push_back(strMessage);
    EXPECT_EQ(headings, (std::vector<std::string>{
                            "INF: Quarantine specific database upgrade", "INF: Reporting specific database upgrade",
                            "INF: Config specific database upgrade", "INF: Directory specific database upgrade"}));
}
