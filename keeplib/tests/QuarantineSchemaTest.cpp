// The quarantine schema (script 103) against the tables, keys, procedures and grants the service
// relies on. The inspector reads the script; the expected values are written out below.

#include "SchemaInspector.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

using namespace SchemaInspector;

namespace {

const Schema& Quarantine()
{
    static const Schema schema = InspectScript(103);
    return schema;
}

} // namespace

// The inspector itself: layout, comments, brackets and owner names do not change what it reads.
TEST(SchemaInspector, ReadsTheSameStructureWhateverTheLayout)
{
    const Schema tidy =
        InspectText(L"CREATE TABLE [dbo].[T]\r\n(\r\n    [ID] int IDENTITY (1, 1) NOT NULL,\r\n"
                    L"    [Name] nvarchar(64) NULL CONSTRAINT [DF_T_Name] DEFAULT (N''),\r\n"
                    L"    CONSTRAINT [PK_T] PRIMARY KEY NONCLUSTERED\r\n    (\r\n        [ID]\r\n    ),\r\n"
                    L"    CONSTRAINT [IX_T] UNIQUE CLUSTERED ([Name] ASC)\r\n)\r\nGO\r\n"
                    L"-- a comment\r\nCREATE PROCEDURE [dbo].[P]\r\n    @A_in int,\r\n"
                    L"    @B_out nvarchar(10) OUTPUT\r\nAS\r\nSET @B_out = N'x' -- set\r\nRETURN 0\r\nGO\r\n"
                    L"GRANT SELECT ON [dbo].[T] TO [R]\r\nGRANT EXECUTE ON [dbo].[P] TO [R]\r\nGO");
    const Schema terse =
        InspectText(L"create table T (ID int identity not null, Name NVARCHAR (64) null "
                    L"default N'', constraint PK_T primary key nonclustered (ID), "
                    L"constraint IX_T unique clustered (Name))\nGO\n"
                    L"/* block\ncomment */ create proc dbo.P (@A_in INT, @B_out nvarchar( 10 ) out) as\n"
                    L"SET   @B_out=N'x'\nRETURN 0\nGO\ngrant select, execute on T to R\nGO");
    for (const Schema* pSchema : {&tidy, &terse}) {
        EXPECT_EQ(pSchema->nBatches, 3u);
        ExpectTables(*pSchema, {{L"T",
                                 {L"ID int IDENTITY(1,1) NOT NULL", L"Name nvarchar(64) NULL DEFAULT N''"},
                                 {L"PK_T PRIMARY KEY NONCLUSTERED (ID)", L"IX_T UNIQUE CLUSTERED (Name)"}}});
        ExpectProcedures(*pSchema, {{L"P", {L"@A_in int", L"@B_out nvarchar(10) OUTPUT"}}});
    }
    ExpectGrants(tidy, {L"SELECT ON T TO R", L"EXECUTE ON P TO R"});
    ExpectGrants(terse, {L"select ON T TO R", L"execute ON T TO R"});
    // Comments and layout aside, these procedures are the same; a changed body is not.
    const Schema relaid = InspectText(L"CREATE PROCEDURE dbo.P\n@A_in int, @B_out nvarchar(10) OUTPUT AS\n"
                                      L"/* c */ SET @B_out = N'x'\n\n\nRETURN 0\nGO");
    ExpectSameProcedure(relaid, tidy, L"P");
    const Schema changed = InspectText(L"CREATE PROCEDURE dbo.P\n@A_in int, @B_out nvarchar(10) OUTPUT AS\n"
                                       L"SET @B_out = N'y'\nRETURN 0\nGO");
    EXPECT_NONFATAL_FAILURE(ExpectSameProcedure(changed, tidy, L"P"), "differs");
}

TEST(SchemaInspector, FillsInTheServersClusteringDefaults)
{
    const Schema schema = InspectText(L"CREATE TABLE A (X int NOT NULL PRIMARY KEY, Y int NOT NULL UNIQUE)\r\nGO\r\n"
                                      L"CREATE TABLE B (X int NOT NULL, CONSTRAINT PK_B PRIMARY KEY (X), "
                                      L"CONSTRAINT IX_B UNIQUE CLUSTERED (X))\r\nGO\r\n"
                                      L"CREATE TABLE C (X int NOT NULL REFERENCES A (X) ON DELETE NO ACTION)\r\nGO\r\n"
                                      L"CREATE INDEX IX_C ON C (X DESC)\r\nGO\r\n"
                                      L"ALTER TABLE C WITH NOCHECK ADD CONSTRAINT PK_C PRIMARY KEY (X)\r\nGO");
    EXPECT_EQ(schema.ConstraintsOf(L"A"), (std::vector<std::wstring>{L"(unnamed) PRIMARY KEY CLUSTERED (X)",
                                                                     L"(unnamed) UNIQUE NONCLUSTERED (Y)"}));
    EXPECT_EQ(schema.ConstraintsOf(L"B"),
              (std::vector<std::wstring>{L"PK_B PRIMARY KEY NONCLUSTERED (X)", L"IX_B UNIQUE CLUSTERED (X)"}));
    EXPECT_EQ(schema.ConstraintsOf(L"C"),
              (std::vector<std::wstring>{L"(unnamed) FOREIGN KEY (X) REFERENCES A (X)",
                                         L"IX_C NONCLUSTERED INDEX (X DESC)", L"PK_C PRIMARY KEY CLUSTERED (X)"}));
    ASSERT_EQ(schema.constraints.size(), 7u);
    EXPECT_TRUE(schema.constraints[6].bWithNoCheck);
    EXPECT_FALSE(schema.constraints[6].bInline);
    EXPECT_TRUE(schema.constraints[0].bInline);
}

// What the checks of locking and of failure paths rest on: statements, their transactions and the
// tables they lock.
TEST(SchemaInspector, ReadsStatementsTransactionsAndLockedTables)
{
    const Schema schema = InspectText(
        L"CREATE PROCEDURE [dbo].[P] @ID int OUTPUT AS\r\nSET NOCOUNT ON\r\nSET @ID = NULL\r\n"
        L"BEGIN TRANSACTION\r\n"
        L"INSERT INTO [dbo].[A] ([X]) SELECT [X] FROM @T AS [T] WHERE NOT EXISTS (SELECT * FROM [dbo].[A] AS [D] "
        L"WITH (UPDLOCK, HOLDLOCK) WHERE [D].[X] = [T].[X])\r\n"
        L"UPDATE [T] SET [ID] = [D].[ID] FROM @T AS [T] INNER JOIN [dbo].[A] AS [D] ON [D].[X] = [T].[X]\r\n"
        L"DELETE [F] FROM [dbo].[B] AS [F] WITH (TABLOCKX) WHERE [F].[X] = CASE WHEN @ID > 0 THEN 1 ELSE 2 END\r\n"
        L"COMMIT TRANSACTION\r\nIF @@ERROR <> 0 GOTO Fail\r\nTRUNCATE TABLE [dbo].[C]\r\nRETURN 0\r\n"
        L"Fail:\r\nROLLBACK TRANSACTION\r\nRETURN 4\r\nGO");
    ASSERT_EQ(schema.procedures.size(), 1u);
    const Procedure& procedure = schema.procedures[0];
    std::vector<std::wstring> texts;
    std::vector<std::size_t> transactions;
    std::vector<std::wstring> tables;
    for (const Statement& statement : procedure.statements) {
        // The first two words say which statement it is.
        texts.push_back(statement.strText.substr(0, statement.strText.find(L' ', statement.strText.find(L' ') + 1)));
        transactions.push_back(statement.nTransaction);
        for (const TableReference& table : statement.tables) {
            std::wstring strTable = table.strTable + (table.bWritten ? L" written" : L"");
            for (const std::wstring& strHint : table.hints)
                strTable += L" " + strHint;
            tables.push_back(strTable + (table.HoldsLocks() ? L" held" : L""));
        }
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"SET NOCOUNT", L"SET @ID", L"BEGIN TRANSACTION", L"INSERT INTO",
                                                L"UPDATE T", L"DELETE F", L"COMMIT TRANSACTION", L"IF @@ERROR",
                                                L"GOTO Fail", L"TRUNCATE TABLE", L"RETURN 0", L"Fail :",
                                                L"ROLLBACK TRANSACTION", L"RETURN 4"}));
    EXPECT_EQ(transactions, (std::vector<std::size_t>{0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(tables, (std::vector<std::wstring>{L"A written held", L"A UPDLOCK HOLDLOCK held", L"A",
                                                 L"B written TABLOCKX held", L"C written held"}));
}

// An IF that tests an object's absence guards the one creation after it, written out or executed.
TEST(SchemaInspector, ReadsWhichCreationsAreGuarded)
{
    const Schema schema = InspectText(
        L"IF OBJECT_ID(N'[dbo].[T]') IS NULL\r\nBEGIN\r\n    CREATE TABLE [dbo].[T] ([X] int NOT NULL)\r\n"
        L"END\r\nGO\r\n"
        L"IF NOT EXISTS (SELECT * FROM [dbo].[sysobjects] WHERE [id] = OBJECT_ID(N'[dbo].[P]'))\r\n"
        L"    EXEC (N'CREATE PROCEDURE [dbo].[P] AS RETURN 0')\r\nEXEC (N'CREATE PROCEDURE [dbo].[Q] AS RETURN 0')\r\n"
        L"GO\r\nIF OBJECT_ID(N'[dbo].[U]') IS NOT NULL\r\n    CREATE TABLE [dbo].[U] ([X] int NOT NULL)\r\nGO\r\n"
        L"CREATE PROCEDURE [dbo].[R] AS RETURN 0\r\nGO");
    std::vector<std::wstring> creations;
    for (const Creation& creation : schema.creations) {
        creations.push_back(creation.strKind + L" " + creation.strName + L" " + std::to_wstring(creation.nBatch) +
                            (creation.bExecuted ? L" executed" : L"") +
                            (creation.strGuard.empty() ? L"" : L" unless " + creation.strGuard + L" exists"));
    }
    EXPECT_EQ(creations,
              (std::vector<std::wstring>{L"TABLE T 1 unless T exists", L"PROCEDURE P 2 executed unless P exists",
                                         L"PROCEDURE Q 2 executed", L"TABLE U 3", L"PROCEDURE R 4"}));
    EXPECT_TRUE(schema.executions.empty());
    EXPECT_EQ(schema.TableNames(), (std::vector<std::wstring>{L"T", L"U"}));
}

TEST(QuarantineSchema, TablesHaveTheirColumnsAndKeys)
{
    ExpectTables(
        Quarantine(),
        {
            {L"QuarServers",
             {L"ID smallint IDENTITY(1,1) NOT NULL", L"Name nvarchar(64) NOT NULL"},
             {L"PK_QuarServers PRIMARY KEY CLUSTERED (ID)", L"IX_QuarServers UNIQUE NONCLUSTERED (Name)"}},
            {L"QuarItems",
             {L"ID int IDENTITY(1,1) NOT NULL", L"ServerID smallint NOT NULL", L"FileName varchar(256) NOT NULL",
              L"TimeCreated datetime NOT NULL", L"FileSize int NOT NULL", L"Type tinyint NOT NULL",
              L"Reason int NOT NULL", L"JobID tinyint NOT NULL", L"MessageID varchar(100) NOT NULL",
              L"OriginalFileName nvarchar(256) NOT NULL", L"Subject nvarchar(200) NOT NULL",
              L"Charset varchar(50) NOT NULL", L"TrainingMode bit NOT NULL", L"IsSpam bit NOT NULL",
              L"SpamProbability real NOT NULL"},
             {L"PK_QuarItems PRIMARY KEY CLUSTERED (ID)",
              L"FK_QuarItems_QuarServers FOREIGN KEY (ServerID) REFERENCES QuarServers (ID)"}},
            {L"QuarAddresses",
             {L"ItemID int NOT NULL", L"Index int NOT NULL", L"Field tinyint NOT NULL", L"NotRetrieved bit NOT NULL",
              L"FullAddress nvarchar(322) NOT NULL", L"EmailOnly nvarchar(320) NOT NULL"},
             {L"PK_QuarAddresses PRIMARY KEY CLUSTERED (ItemID, Index)",
              L"FK_QuarAddresses_QuarItems FOREIGN KEY (ItemID) REFERENCES QuarItems (ID) ON DELETE CASCADE"}},
            {L"QuarInfections",
             {L"ItemID int NOT NULL", L"Location nvarchar(256) NOT NULL", L"Infection nvarchar(50) NOT NULL"},
             {L"IX_QuarInfections CLUSTERED INDEX (ItemID)",
              L"FK_QuarInfections_QuarItems FOREIGN KEY (ItemID) REFERENCES QuarItems (ID) ON DELETE CASCADE"}},
            {L"QuarThreats",
             {L"ItemID int NOT NULL", L"Location nvarchar(256) NOT NULL", L"Threat nvarchar(50) NOT NULL"},
             {L"IX_QuarThreats CLUSTERED INDEX (ItemID)",
              L"FK_QuarThreats_QuarItems FOREIGN KEY (ItemID) REFERENCES QuarItems (ID) ON DELETE CASCADE"}},
            {L"QuarSpamFeatures",
             {L"ItemID int NOT NULL", L"SpamFeature nvarchar(100) NOT NULL"},
             {L"IX_QuarSpamFeatures CLUSTERED INDEX (ItemID)",
              L"FK_QuarSpamFeatures_QuarItems FOREIGN KEY (ItemID) REFERENCES QuarItems (ID) "
              L"ON DELETE CASCADE"}},
        });
}

// Keys are added to their table after it is created, each in a batch of its own; primary keys
// WITH NOCHECK.
TEST(QuarantineSchema, KeysAreAddedAfterTheirTable)
{
    const Schema& schema = Quarantine();
    ASSERT_FALSE(schema.constraints.empty());
    for (const Constraint& constraint : schema.constraints) {
        EXPECT_FALSE(constraint.bInline) << constraint.Describe();
        EXPECT_EQ(constraint.bWithNoCheck, constraint.strKind == L"PRIMARY KEY") << constraint.Describe();
        const Table* pTable = schema.FindTable(constraint.strTable);
        ASSERT_NE(pTable, nullptr) << constraint.Describe();
        EXPECT_GT(constraint.nBatch, pTable->nBatch) << constraint.Describe();
        for (const Constraint& other : schema.constraints) {
            if (&other != &constraint) {
                EXPECT_NE(other.nBatch, constraint.nBatch) << constraint.Describe() << " and " << other.Describe();
            }
        }
    }
}

TEST(QuarantineSchema, ProceduresHaveTheirParameters)
{
    ExpectProcedures(
        Quarantine(),
        {
            {L"SPQuarVersion", {L"@Major_out int OUTPUT", L"@Minor_out int OUTPUT", L"@Build_out datetime OUTPUT"}},
            {L"SPQuarAddItem",
             {L"@ServerName_in nvarchar(64)", L"@FileName_in varchar(256)", L"@TimeCreated_in datetime",
              L"@FileSize_in int", L"@Type_in tinyint", L"@Reason_in int", L"@JobID_in tinyint",
              L"@MessageID_in varchar(100)", L"@OriginalFileName_in nvarchar(256)", L"@Subject_in nvarchar(200)",
              L"@Charset_in varchar(50)", L"@TrainingMode_in bit", L"@IsSpam_in bit", L"@SpamProbability_in real",
              L"@Addresses_in ntext", L"@Infections_in ntext", L"@Threats_in ntext", L"@SpamFeatures_in ntext",
              L"@ID_out int OUTPUT"}},
            {L"SPQuarGetItems", {L"@IDs_in ntext"}},
            {L"SPQuarDelItem", {L"@ID_in int", L"@FileName_out varchar(256) OUTPUT"}},
            {L"SPQuarMarkRetrieved2",
             {L"@ID_in int", L"@CanDelete_in bit", L"@Addresses_in ntext", L"@FileName_out varchar(256) OUTPUT"}},
            {L"SPQuarGetIDsForFile", {L"@FileName_in varchar(256)"}},
        });
    for (const Procedure& procedure : Quarantine().procedures)
        EXPECT_FALSE(procedure.bAlter) << procedure.strName;
}

TEST(QuarantineSchema, FailedCallsHandBackNoOutput)
{
    ExpectNoOutputOnFailure(Quarantine(), L"SPQuarVersion");
}

TEST(QuarantineSchema, VersionIsOnePointOne)
{
    ExpectVersion(Quarantine(), L"SPQuarVersion", L"1", L"1", L"'20090918 09:00'");
}

TEST(QuarantineSchema, RoleIsGrantedExactlyItsRights)
{
    EXPECT_EQ(Quarantine().ExecutionTexts(), std::vector<std::wstring>{L"sp_addrole VestrelQuarUser"});
    ExpectGrants(Quarantine(), {
                                   L"SELECT ON QuarServers TO VestrelQuarUser",
                                   L"SELECT ON QuarItems TO VestrelQuarUser",
                                   L"SELECT ON QuarAddresses TO VestrelQuarUser",
                                   L"SELECT ON QuarInfections TO VestrelQuarUser",
                                   L"SELECT ON QuarThreats TO VestrelQuarUser",
                                   L"SELECT ON QuarSpamFeatures TO VestrelQuarUser",
                                   L"EXECUTE ON SPQuarVersion TO VestrelQuarUser",
                                   L"EXECUTE ON SPQuarAddItem TO VestrelQuarUser",
                                   L"EXECUTE ON SPQuarGetItems TO VestrelQuarUser",
                                   L"EXECUTE ON SPQuarDelItem TO VestrelQuarUser",
                                   L"EXECUTE ON SPQuarMarkRetrieved2 TO VestrelQuarUser",
                                   L"EXECUTE ON SPQuarGetIDsForFile TO VestrelQuarUser",
                               });
    EXPECT_TRUE(Quarantine().rows.empty());
}
