// The reporting schema (script 104) and its upgrade from 1.2 (script 108) against the tables,
// keys, fixed rows, procedures and grants the service and the scanning servers rely on.

#include "SchemaInspector.h"
#include "common/StringUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace SchemaInspector;

namespace {

const Schema& Reporting()
{
    static const Schema schema = InspectScript(104);
    return schema;
}

const Schema& ReportingUpgrade()
{
    static const Schema schema = InspectScript(108);
    return schema;
}

// Dimension tables: nonclustered primary key on ID, unique clustered key IX_ (two are named
// IX_Rprt2...).
const std::vector<ExpectedTable> kDimensions = {
    {L"RprtPeriod",
     {L"ID bigint IDENTITY(1,1) NOT NULL", L"PeriodStart datetime NOT NULL", L"PeriodEnd datetime NOT NULL",
      L"Duration int NOT NULL"},
     {L"PK_RprtPeriod PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtPeriod UNIQUE CLUSTERED (PeriodStart, PeriodEnd)"}},
    {L"RprtSource",
     {L"ID smallint IDENTITY(1,1) NOT NULL", L"Server nvarchar(64) NOT NULL", L"Job smallint NOT NULL",
      L"Instance nvarchar(256) NOT NULL", L"Direction smallint NOT NULL DEFAULT 1"},
     {L"PK_RprtSource PRIMARY KEY NONCLUSTERED (ID)",
      L"IX_Rprt2Source UNIQUE CLUSTERED (Server, Job, Instance, Direction)"}},
    {L"RprtAddress",
     {L"ID bigint IDENTITY(1,1) NOT NULL", L"Address nvarchar(449) NOT NULL", L"Type smallint NOT NULL DEFAULT 0"},
     {L"PK_RprtAddress PRIMARY KEY NONCLUSTERED (ID)", L"IX_Rprt2Address UNIQUE CLUSTERED (Address, Type)"}},
    {L"RprtRelay",
     {L"ID bigint IDENTITY(1,1) NOT NULL", L"Address nvarchar(256) NOT NULL"},
     {L"PK_RprtRelay PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtRelay UNIQUE CLUSTERED (Address)"}},
    {L"RprtVirusSpamRule",
     {L"ID bigint IDENTITY(1,1) NOT NULL", L"Type int NOT NULL", L"Name nvarchar(256) NOT NULL"},
     {L"PK_RprtVirusSpamRule PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtVirusSpamRule UNIQUE CLUSTERED (Type, Name)"}},
    {L"RprtCategory",
     {L"ID smallint NOT NULL", L"Category smallint NOT NULL", L"Ordinal smallint NOT NULL"},
     {L"PK_RprtCategory PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtCategory UNIQUE CLUSTERED (Category)"}},
    {L"RprtRuntimeFactType",
     {L"ID smallint NOT NULL", L"Type smallint NOT NULL"},
     {L"PK_RprtRuntimeFactType PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtRuntimeFactType UNIQUE CLUSTERED (Type)"}},
    {L"RprtSpamRange",
     {L"ID smallint NOT NULL", L"MinRange smallint NOT NULL", L"MaxRange smallint NOT NULL"},
     {L"PK_RprtSpamRange PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtSpamRange UNIQUE CLUSTERED (MinRange, MaxRange)"}},
    {L"RprtAttachment",
     {L"ID bigint IDENTITY(1,1) NOT NULL", L"Type int NULL", L"Name nvarchar(256) NULL"},
     {L"PK_RprtAttachment PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtAttachment UNIQUE CLUSTERED (Type, Name)"}},
    {L"RprtAttachment2",
     {L"ID bigint IDENTITY(1,1) NOT NULL", L"Type int NOT NULL", L"Name nvarchar(256) NOT NULL"},
     {L"PK_RprtAttachment2 PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtAttachment2 UNIQUE CLUSTERED (Type, Name)"}},
    {L"RprtPhrase",
     {L"ID bigint IDENTITY(1,1) NOT NULL", L"Type tinyint NOT NULL", L"Description nvarchar(400) NOT NULL"},
     {L"PK_RprtPhrase PRIMARY KEY NONCLUSTERED (ID)", L"IX_RprtPhrase UNIQUE CLUSTERED (Type, Description)"}},
};

struct KeyColumn
{
    const wchar_t* wszColumn;
    const wchar_t* wszType;
    const wchar_t* wszDimension;
};

struct FactTable
{
    const wchar_t* wszName;
    std::vector<KeyColumn> keys;
    std::vector<std::wstring> figures;
};

const KeyColumn kPeriod = {L"PeriodID", L"bigint", L"RprtPeriod"};
const KeyColumn kSource = {L"SourceID", L"smallint", L"RprtSource"};
const KeyColumn kCategory = {L"CategoryID", L"smallint", L"RprtCategory"};
const std::wstring kTally = L"Tally int NOT NULL";

// Fact tables: a clustered primary key on the key columns, a foreign key FK_<table>_<dimension>
// from each key column to its dimension's ID.
const std::vector<FactTable> kFacts = {
    {L"RprtRuntimeFact",
     {kPeriod, kSource, {L"RuntimeFactID", L"smallint", L"RprtRuntimeFactType"}},
     {L"Tally int NULL"}},
    {L"RprtMessageCount", {kPeriod, kSource, kCategory}, {kTally}},
    {L"RprtQuarItemCount", {kPeriod, kSource, kCategory}, {kTally, L"Size int NOT NULL"}},
    {L"RprtAddressCount", {kPeriod, kSource, kCategory, {L"AddressID", L"bigint", L"RprtAddress"}}, {kTally}},
    {L"RprtRelayCount", {kPeriod, kSource, kCategory, {L"RelayID", L"bigint", L"RprtRelay"}}, {kTally}},
    {L"RprtSpamRangeCount", {kPeriod, kSource, {L"SpamRangeID", L"smallint", L"RprtSpamRange"}}, {kTally}},
    {L"RprtVirusSpamRuleCount", {kPeriod, kSource, {L"VirusSpamRuleID", L"bigint", L"RprtVirusSpamRule"}}, {kTally}},
    {L"RprtQuarReleaseCount", {kPeriod, kSource, {L"AddressID", L"bigint", L"RprtAddress"}}, {kTally}},
    {L"RprtAttachmentCount", {kPeriod, kSource, {L"AttachmentID", L"bigint", L"RprtAttachment"}}, {kTally}},
    {L"RprtAttachmentCount2", {kPeriod, kSource, {L"AttachmentID", L"bigint", L"RprtAttachment2"}}, {kTally}},
    {L"RprtPhraseCount", {kPeriod, kSource, {L"PhraseID", L"bigint", L"RprtPhrase"}}, {kTally}},
};

ExpectedTable Expected(const FactTable& fact)
{
    ExpectedTable table{fact.wszName, {}, {}};
    std::wstring strKey;
    for (const KeyColumn& key : fact.keys) {
        table.columns.push_back(std::wstring(key.wszColumn) + L" " + key.wszType + L" NOT NULL");
        strKey += (strKey.empty() ? L"" : L", ") + std::wstring(key.wszColumn);
        table.constraints.push_back(L"FK_" + std::wstring(fact.wszName) + L"_" + key.wszDimension + L" FOREIGN KEY (" +
                                    key.wszColumn + L") REFERENCES " + key.wszDimension + L" (ID)");
    }
    table.constraints.push_back(L"PK_" + std::wstring(fact.wszName) + L" PRIMARY KEY CLUSTERED (" + strKey + L")");
    table.columns.insert(table.columns.end(), fact.figures.begin(), fact.figures.end());
    return table;
}

std::vector<ExpectedTable> AllTables()
{
    std::vector<ExpectedTable> tables = kDimensions;
    for (const FactTable& fact : kFacts)
        tables.push_back(Expected(fact));
    return tables;
}

const ExpectedProcedure kVersion = {
    L"SPRprtVersion", {L"@Major_out int OUTPUT", L"@Minor_out int OUTPUT", L"@Build_out datetime OUTPUT"}};
const ExpectedProcedure kCollect2 = {L"SPRprtCollect2", {L"@Data_in ntext"}};
const ExpectedProcedure kCollect = {L"SPRprtCollect", {L"@Data_in ntext"}};
const ExpectedProcedure kPurge2 = {
    L"SPRprtPurge2", {L"@Duration_in int", L"@Server_in nvarchar(64)", L"@OlderThanDays_in int", L"@Now_in datetime"}};

} // namespace

TEST(ReportingSchema, TablesHaveTheirColumnsAndKeys)
{
    ASSERT_EQ(AllTables().size(), 22u);
    ExpectTables(Reporting(), AllTables());
}

// Every key is written inside its CREATE TABLE: one batch per table.
TEST(ReportingSchema, KeysAreWrittenInsideTheirTable)
{
    for (const Schema* pSchema : {&Reporting(), &ReportingUpgrade()}) {
        ASSERT_FALSE(pSchema->constraints.empty());
        for (const Constraint& constraint : pSchema->constraints)
            EXPECT_TRUE(constraint.bInline) << constraint.Describe();
    }
}

TEST(ReportingSchema, FixedRowsAreExactlyTheCategoriesFactTypeAndSpamBands)
{
    const Schema& schema = Reporting();
    using Rows = std::vector<std::vector<std::wstring>>;
    EXPECT_EQ(schema.RowsOf(L"RprtCategory"), (Rows{{L"0", L"0", L"0"},
                                                    {L"1", L"1", L"1"},
                                                    {L"2", L"2", L"11"},
                                                    {L"3", L"3", L"12"},
                                                    {L"4", L"4", L"8"},
                                                    {L"5", L"6", L"5"},
                                                    {L"6", L"5", L"4"},
                                                    {L"7", L"7", L"6"},
                                                    {L"8", L"8", L"2"},
                                                    {L"9", L"9", L"3"},
                                                    {L"10", L"11", L"9"},
                                                    {L"11", L"12", L"10"},
                                                    {L"12", L"10", L"7"}}));
    EXPECT_EQ(schema.RowsOf(L"RprtRuntimeFactType"), (Rows{{L"1", L"1"}}));
    EXPECT_EQ(schema.RowsOf(L"RprtSpamRange"), (Rows{{L"1", L"0", L"9"},
                                                     {L"2", L"10", L"19"},
                                                     {L"3", L"20", L"29"},
                                                     {L"4", L"30", L"39"},
                                                     {L"5", L"40", L"49"},
                                                     {L"6", L"50", L"59"},
                                                     {L"7", L"60", L"69"},
                                                     {L"8", L"70", L"79"},
                                                     {L"9", L"80", L"89"},
                                                     {L"10", L"90", L"100"}}));

    // Every row names its columns; each table's rows are one batch of their own; no other table
    // gets rows.
    const std::vector<std::pair<std::wstring, std::vector<std::wstring>>> columns = {
        {L"RprtCategory", {L"ID", L"Category", L"Ordinal"}},
        {L"RprtRuntimeFactType", {L"ID", L"Type"}},
        {L"RprtSpamRange", {L"ID", L"MinRange", L"MaxRange"}},
    };
    std::set<std::size_t> batches;
    for (const auto& [strTable, names] : columns) {
        std::set<std::size_t> tableBatches;
        for (const Row& row : schema.rows) {
            if (row.strTable == strTable) {
                EXPECT_EQ(row.columns, names) << strTable;
                tableBatches.insert(row.nBatch);
            }
        }
        EXPECT_EQ(tableBatches.size(), 1u) << strTable;
        batches.insert(tableBatches.begin(), tableBatches.end());
    }
    EXPECT_EQ(batches.size(), 3u);
    EXPECT_EQ(schema.rows.size(), 13u + 1u + 10u);
    EXPECT_TRUE(ReportingUpgrade().rows.empty());
}

TEST(ReportingSchema, ProceduresHaveTheirParameters)
{
    ExpectProcedures(Reporting(), {kVersion, kCollect2, kCollect, kPurge2});
    for (const Procedure& procedure : Reporting().procedures)
        EXPECT_FALSE(procedure.bAlter) << procedure.strName;
}

// Inside the write transaction a collector reads the dimensions it adds rows to only WITH (UPDLOCK,
// HOLDLOCK), so that the first lock it takes on a key, or on the range where a missing key goes,
// is an update lock held until the commit. A row its existence test found then stays until the
// facts that refer to it are committed, and two collectors that miss the same key never both hold
// shared range locks, which would deadlock their inserts.
TEST(ReportingSchema, CollectorsReadDimensionsOnlyUnderHeldUpdateLocks)
{
    const std::set<std::wstring> shared = {L"RprtPeriod", L"RprtSource",        L"RprtAddress",
                                           L"RprtRelay",  L"RprtVirusSpamRule", L"RprtPhrase"};
    const struct
    {
        const Schema* pSchema;
        const wchar_t* wszProcedure;
        const wchar_t* wszAttachments;
    } collectors[] = {
        {&Reporting(), L"SPRprtCollect2", L"RprtAttachment2"},
        {&Reporting(), L"SPRprtCollect", L"RprtAttachment"},
        {&ReportingUpgrade(), L"SPRprtCollect2", L"RprtAttachment2"},
        {&ReportingUpgrade(), L"SPRprtCollect", L"RprtAttachment"},
    };
    for (const auto& collector : collectors) {
        const Procedure* pCollect = collector.pSchema->FindProcedure(collector.wszProcedure);
        ASSERT_NE(pCollect, nullptr) << collector.wszProcedure;
        std::set<std::wstring> dimensions = shared;
        dimensions.insert(collector.wszAttachments);
        std::set<std::wstring> read;
        for (const Statement& statement : pCollect->statements) {
            for (const TableReference& table : statement.tables) {
                if (table.bWritten || dimensions.count(table.strTable) == 0)
                    continue;
                read.insert(table.strTable);
                EXPECT_TRUE(statement.nTransaction != 0 && table.HasHint(L"UPDLOCK") && table.HasHint(L"HOLDLOCK"))
                    << WideToNarrow(collector.wszProcedure) << " reads " << WideToNarrow(table.strTable)
                    << " without holding update locks: " << WideToNarrow(statement.strText.substr(0, 200));
            }
        }
        EXPECT_EQ(read, dimensions) << collector.wszProcedure;
    }
}

// Of the legacy document's ATT elements, one with a type alone counts under its type row, one
// with a name alone under its name row, and one with both under neither.
TEST(ReportingSchema, LegacyAttachmentWithTypeAndNameCountsUnderNeither)
{
    for (const Schema* pSchema : {&Reporting(), &ReportingUpgrade()}) {
        const Procedure* pCollect = pSchema->FindProcedure(L"SPRprtCollect");
        ASSERT_NE(pCollect, nullptr);
        // The conditions of each statement that reads the ATT elements: "X . t IS NOT NULL", ...
        std::set<std::set<std::wstring>> conditions;
        for (const Statement& statement : pCollect->statements) {
            const std::wstring& strText = statement.strText;
            if (strText.find(L"N'/ROOT/PER/SRC/MSG/ATT'") == std::wstring::npos)
                continue;
            const std::size_t where = strText.rfind(L" WHERE ");
            ASSERT_NE(where, std::wstring::npos) << WideToNarrow(strText);
            std::set<std::wstring> conjuncts;
            for (std::size_t start = where + 7, end = 0; start < strText.size(); start = end + 5) {
                end = std::min(strText.find(L" AND ", start), strText.size());
                conjuncts.insert(strText.substr(start, end - start));
            }
            conditions.insert(conjuncts);
        }
        EXPECT_EQ(conditions, (std::set<std::set<std::wstring>>{{L"X . t IS NOT NULL", L"X . n IS NULL"},
                                                                {L"X . n IS NOT NULL", L"X . t IS NULL"}}));
    }
}

TEST(ReportingSchema, VersionIsOnePointThree)
{
    ExpectVersion(Reporting(), L"SPRprtVersion", L"1", L"3", L"'20090918 09:00'");
}

TEST(ReportingSchema, RoleIsGrantedExactlyItsRights)
{
    EXPECT_EQ(Reporting().ExecutionTexts(), std::vector<std::wstring>{L"sp_addrole VestrelRprtUser"});
    std::vector<std::wstring> grants;
    for (const ExpectedTable& table : AllTables())
        grants.push_back(L"SELECT ON " + table.strName + L" TO VestrelRprtUser");
    for (const wchar_t* wszProcedure : {L"SPRprtVersion", L"SPRprtCollect", L"SPRprtCollect2", L"SPRprtPurge2"})
        grants.push_back(L"EXECUTE ON " + std::wstring(wszProcedure) + L" TO VestrelRprtUser");
    ExpectGrants(Reporting(), grants);
}

// Script 108 adds the two attachment tables and SPRprtCollect2, brings SPRprtPurge2 and
// SPRprtCollect to their new texts, grants the new objects and alters the version procedure;
// nothing else.
TEST(ReportingSchema, UpgradeAddsOnlyTheNewObjects)
{
    const Schema& upgrade = ReportingUpgrade();
    std::vector<ExpectedTable> tables;
    for (const ExpectedTable& table : AllTables()) {
        if (table.strName == L"RprtAttachment2" || table.strName == L"RprtAttachmentCount2")
            tables.push_back(table);
    }
    ASSERT_EQ(tables.size(), 2u);
    ExpectTables(upgrade, tables);
    ExpectProcedures(upgrade, {kVersion, kCollect2, kCollect, kPurge2});
    ExpectVersion(upgrade, L"SPRprtVersion", L"1", L"3", L"'20090918 09:00'");
    EXPECT_TRUE(upgrade.executions.empty());
    ExpectGrants(upgrade,
                 {L"SELECT ON RprtAttachment2 TO VestrelRprtUser", L"SELECT ON RprtAttachmentCount2 TO VestrelRprtUser",
                  L"EXECUTE ON SPRprtCollect2 TO VestrelRprtUser"});
}

// An upgrade that stopped half-way leaves a database that still reports 1.2, and the next setup
// runs 108 again from its first batch.
TEST(ReportingSchema, UpgradeCanRunAgain)
{
    ExpectRerunnable(ReportingUpgrade(), {kPurge2.strName, kCollect.strName, kVersion.strName});
}

// A 1.2 database upgraded by 108 holds the same tables and procedures as a new one made by 104.
TEST(ReportingSchema, UpgradedDatabaseEqualsANewOne)
{
    ExpectSameTable(ReportingUpgrade(), Reporting(), L"RprtAttachment2");
    ExpectSameTable(ReportingUpgrade(), Reporting(), L"RprtAttachmentCount2");
    ExpectSameProcedure(ReportingUpgrade(), Reporting(), L"SPRprtCollect2");
    ExpectSameProcedure(ReportingUpgrade(), Reporting(), L"SPRprtPurge2");
    ExpectSameProcedure(ReportingUpgrade(), Reporting(), L"SPRprtCollect");
    ExpectSameProcedure(ReportingUpgrade(), Reporting(), L"SPRprtVersion");
    for (const std::wstring& strGrant : ReportingUpgrade().grants) {
        EXPECT_NE(std::find(Reporting().grants.begin(), Reporting().grants.end(), strGrant), Reporting().grants.end())
            << strGrant;
    }
}
