// The directory schema (script 106) and its upgrade from 1.1 (script 114) against the tables,
// keys, procedures and rights the service relies on.

#include "SchemaInspector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace SchemaInspector;

namespace {

const Schema& Directory()
{
    static const Schema schema = InspectScript(106);
    return schema;
}

const Schema& DirectoryUpgrade()
{
    static const Schema schema = InspectScript(114);
    return schema;
}

const ExpectedProcedure kVersion = {L"SPDirectoryVersion",
                                    {L"@MAJOR int OUTPUT", L"@MINOR int OUTPUT", L"@BUILDDATE datetime OUTPUT"}};
const ExpectedProcedure kAddressResolution = {L"SPGetObjectsAndParentsFromEmailAddresses", {L"@Data_in ntext"}};

} // namespace

TEST(DirectorySchema, TablesHaveTheirColumnsAndKeys)
{
    ExpectTables(
        Directory(),
        {
            {L"Objects",
             {L"Id bigint IDENTITY(1,1) NOT NULL", L"Type tinyint NOT NULL", L"Name nvarchar(128) NOT NULL",
              L"Description nvarchar(1024) NOT NULL", L"UniqueId nvarchar(1024) NOT NULL",
              L"DN nvarchar(1024) NOT NULL", L"Custom tinyint NOT NULL", L"ServerId bigint NOT NULL",
              L"DomainId bigint NOT NULL"},
             {L"PK_Users PRIMARY KEY CLUSTERED (Id)"}},
            {L"EmailAddresses",
             {L"EmailAddress nvarchar(320) NOT NULL", L"ObjectId bigint NOT NULL", L"PrimaryAddress tinyint NOT NULL"},
             {L"FK_EmailAddresses_ObjectId FOREIGN KEY (ObjectId) REFERENCES Objects (Id)",
              L"IX_EmailAddresses NONCLUSTERED INDEX (EmailAddress)"}},
            {L"Members",
             {L"Id bigint NOT NULL", L"MemberId bigint NOT NULL"},
             {L"FK_Members_Id FOREIGN KEY (Id) REFERENCES Objects (Id)",
              L"FK_Members_MemberId FOREIGN KEY (MemberId) REFERENCES Objects (Id)"}},
            {L"Parents", {L"Id bigint NOT NULL", L"ParentId bigint NOT NULL"}, {}},
            {L"Servers",
             {L"Id bigint IDENTITY(1,1) NOT NULL", L"Name nvarchar(256) NOT NULL", L"Port int NOT NULL",
              L"BaseDN nvarchar(1024) NOT NULL", L"NameAttribute nvarchar(64) NOT NULL",
              L"EmailAttribute nvarchar(64) NOT NULL", L"AliasesAttribute nvarchar(64) NOT NULL",
              L"DescriptionAttribute nvarchar(64) NOT NULL", L"Credentials nvarchar(1024) NOT NULL",
              L"Type tinyint NOT NULL", L"SyncType tinyint NOT NULL", L"SyncInterval int NOT NULL",
              L"LdapPageSize int NOT NULL", L"LdapTimeout int NOT NULL", L"USN bigint NOT NULL",
              L"InvocationId nvarchar(32) NULL", L"DomainId bigint NOT NULL"},
             {L"PK_Servers PRIMARY KEY CLUSTERED (Id)"}},
            {L"Domains",
             {L"Id bigint IDENTITY(1,1) NOT NULL", L"Name nvarchar(16) NOT NULL"},
             {L"PK_Domains PRIMARY KEY CLUSTERED (Id)"}},
            {L"TempObjects",
             {L"Id bigint IDENTITY(1,1) NOT NULL", L"ObjectId bigint NOT NULL", L"Type tinyint NOT NULL",
              L"Name nvarchar(128) NOT NULL", L"Description nvarchar(1024) NOT NULL",
              L"UniqueId nvarchar(1024) NOT NULL", L"DN nvarchar(1024) NOT NULL"},
             {L"PK_TempObjects PRIMARY KEY CLUSTERED (Id)"}},
            {L"DeletedObjects",
             {L"Id bigint IDENTITY(1,1) NOT NULL", L"UniqueId nvarchar(1024) NOT NULL"},
             {L"PK_DeletedObjects PRIMARY KEY CLUSTERED (Id)"}},
            {L"TempEmailAddresses",
             {L"EmailAddress nvarchar(320) NOT NULL", L"ObjectId bigint NOT NULL", L"PrimaryAddress tinyint NOT NULL"},
             {}},
            {L"TempMembers", {L"Id bigint NULL", L"DN nvarchar(1024) NOT NULL"}, {}},
            {L"TempServers",
             {L"Id bigint IDENTITY(1,1) NOT NULL", L"ServerId bigint NOT NULL", L"Name nvarchar(256) NOT NULL",
              L"Port int NOT NULL", L"BaseDN nvarchar(1024) NOT NULL", L"NameAttribute nvarchar(64) NOT NULL",
              L"EmailAttribute nvarchar(64) NOT NULL", L"AliasesAttribute nvarchar(64) NOT NULL",
              L"DescriptionAttribute nvarchar(64) NOT NULL", L"Credentials nvarchar(1024) NOT NULL",
              L"SyncType tinyint NOT NULL", L"SyncInterval int NOT NULL"},
             {L"PK_TempServers PRIMARY KEY CLUSTERED (Id)"}},
        });
}

TEST(DirectorySchema, ProceduresHaveTheirParameters)
{
    ExpectProcedures(
        Directory(),
        {
            kVersion,
            {L"SPGetObjects", {L"@NAME nvarchar(128)", L"@DESCRIPTION nvarchar(1024)", L"@CUSTOM tinyint"}},
            {L"SPGetObjectFromUniqueIdentifier", {L"@ID bigint"}},
            {L"SPGetObjectFromEmailAddress", {L"@EMAIL nvarchar(320)"}},
            {L"SPGetObjectFromDistinguishedName", {L"@DN nvarchar(1024)"}},
            {L"SPGetMembers", {L"@ID bigint"}},
            {L"SPGetParents", {L"@ID bigint"}},
            {L"SPCreateObject",
             {L"@TYPE tinyint", L"@NAME nvarchar(128)", L"@DESCRIPTION nvarchar(1024)", L"@ID bigint OUTPUT"}},
            {L"SPUpdateObject", {L"@ID bigint", L"@NAME nvarchar(128)", L"@DESCRIPTION nvarchar(1024)"}},
            {L"SPDeleteObject", {L"@ID bigint"}},
            {L"SPCreateDomain", {L"@NAME nvarchar(16)", L"@ID bigint OUTPUT"}},
            {L"SPEmptyTempTables", {}},
            {L"SPCreateTempObject",
             {L"@TYPE tinyint", L"@NAME nvarchar(128)", L"@DESCRIPTION nvarchar(1024)", L"@UNIQUEID nvarchar(1024)",
              L"@DN nvarchar(1024)", L"@ID bigint OUTPUT"}},
            {L"SPCreateDeletedObject", {L"@UNIQUEID nvarchar(1024)"}},
            {L"SPCreateTempEmailAddress", {L"@OBJECTID bigint", L"@EMAIL nvarchar(320)", L"@PRIMARYADDRESS tinyint"}},
            {L"SPCreateTempMember", {L"@ID bigint", L"@DN nvarchar(1024)"}},
            {L"SPSynchronizeFull", {L"@SERVERID bigint", L"@DOMAINID bigint"}},
            {L"SPSynchronizeIncremental", {L"@SERVERID bigint", L"@DOMAINID bigint"}},
            {L"SPEmptyTempServerTable", {}},
            {L"SPUpdateServers", {}},
            kAddressResolution,
        });
    for (const Procedure& procedure : Directory().procedures)
        EXPECT_FALSE(procedure.bAlter) << procedure.strName;
}

TEST(DirectorySchema, FailedCallsHandBackNoOutput)
{
    ExpectNoOutputOnFailure(Directory(), kVersion.strName);
    ExpectNoOutputOnFailure(DirectoryUpgrade(), kVersion.strName);
}

// A synchronisation and an administrator's delete lock the live tables in one order, Objects,
// EmailAddresses, Members, Parents: two transactions that took them in opposite orders could each
// wait for the other's table for ever.
TEST(DirectorySchema, TransactionsLockTheLiveTablesInOneOrder)
{
    const std::vector<std::wstring> order = {L"Objects", L"EmailAddresses", L"Members", L"Parents"};
    const auto rank = [&order](const std::wstring& strTable) {
        return std::find(order.begin(), order.end(), strTable) - order.begin();
    };
    std::set<std::wstring> lockingSeveral;
    for (const Procedure& procedure : Directory().procedures) {
        // Per transaction, the live tables in the order it first holds a lock on them.
        std::map<std::size_t, std::vector<std::wstring>> locked;
        for (const Statement& statement : procedure.statements) {
            if (statement.nTransaction == 0)
                continue;
            std::vector<std::wstring>& tables = locked[statement.nTransaction];
            for (const TableReference& table : statement.tables) {
                if (table.HoldsLocks() && rank(table.strTable) < 4 &&
                    std::find(tables.begin(), tables.end(), table.strTable) == tables.end())
                    tables.push_back(table.strTable);
            }
        }
        for (const auto& [nTransaction, tables] : locked) {
            std::vector<std::wstring> ordered = tables;
            std::sort(ordered.begin(), ordered.end(),
                      [&rank](const std::wstring& a, const std::wstring& b) { return rank(a) < rank(b); });
            EXPECT_EQ(tables, ordered) << procedure.strName << ", transaction " << nTransaction;
            if (tables.size() > 1)
                lockingSeveral.insert(procedure.strName);
        }
    }
    EXPECT_EQ(lockingSeveral,
              (std::set<std::wstring>{L"SPDeleteObject", L"SPSynchronizeFull", L"SPSynchronizeIncremental"}));
}

TEST(DirectorySchema, VersionIsOnePointTwo)
{
    ExpectVersion(Directory(), L"SPDirectoryVersion", L"1", L"2", L"'20091119 10:32'");
}

// The role may truncate the staging tables (db_ddladmin, given in the batch that creates the
// role) and has exactly the table rights and EXECUTE rights listed.
TEST(DirectorySchema, RoleIsGrantedExactlyItsRights)
{
    const Schema& schema = Directory();
    EXPECT_EQ(schema.ExecutionTexts(), (std::vector<std::wstring>{L"sp_addrole VestrelDirUser",
                                                                  L"sp_addrolemember db_ddladmin VestrelDirUser"}));
    if (schema.executions.size() == 2) {
        EXPECT_EQ(schema.executions[0].nBatch, schema.executions[1].nBatch);
    }
    ExpectGrants(schema, {
                             L"SELECT ON Objects TO VestrelDirUser",
                             L"SELECT ON EmailAddresses TO VestrelDirUser",
                             L"SELECT ON Members TO VestrelDirUser",
                             L"SELECT ON Parents TO VestrelDirUser",
                             L"SELECT ON Servers TO VestrelDirUser",
                             L"SELECT ON Domains TO VestrelDirUser",
                             L"INSERT ON TempServers TO VestrelDirUser",
                             L"INSERT ON Parents TO VestrelDirUser",
                             L"INSERT ON EmailAddresses TO VestrelDirUser",
                             L"INSERT ON Members TO VestrelDirUser",
                             L"DELETE ON EmailAddresses TO VestrelDirUser",
                             L"DELETE ON Members TO VestrelDirUser",
                             L"DELETE ON Parents TO VestrelDirUser",
                             L"UPDATE ON Servers TO VestrelDirUser",
                             L"EXECUTE ON SPDirectoryVersion TO VestrelDirUser",
                             L"EXECUTE ON SPGetObjects TO VestrelDirUser",
                             L"EXECUTE ON SPGetObjectFromUniqueIdentifier TO VestrelDirUser",
                             L"EXECUTE ON SPGetObjectFromEmailAddress TO VestrelDirUser",
                             L"EXECUTE ON SPGetObjectFromDistinguishedName TO VestrelDirUser",
                             L"EXECUTE ON SPGetMembers TO VestrelDirUser",
                             L"EXECUTE ON SPGetParents TO VestrelDirUser",
                             L"EXECUTE ON SPCreateObject TO VestrelDirUser",
                             L"EXECUTE ON SPUpdateObject TO VestrelDirUser",
                             L"EXECUTE ON SPDeleteObject TO VestrelDirUser",
                             L"EXECUTE ON SPCreateDomain TO VestrelDirUser",
                             L"EXECUTE ON SPEmptyTempTables TO VestrelDirUser",
                             L"EXECUTE ON SPCreateTempObject TO VestrelDirUser",
                             L"EXECUTE ON SPCreateDeletedObject TO VestrelDirUser",
                             L"EXECUTE ON SPCreateTempEmailAddress TO VestrelDirUser",
                             L"EXECUTE ON SPCreateTempMember TO VestrelDirUser",
                             L"EXECUTE ON SPSynchronizeFull TO VestrelDirUser",
                             L"EXECUTE ON SPSynchronizeIncremental TO VestrelDirUser",
                             L"EXECUTE ON SPEmptyTempServerTable TO VestrelDirUser",
                             L"EXECUTE ON SPUpdateServers TO VestrelDirUser",
                             L"EXECUTE ON SPGetObjectsAndParentsFromEmailAddresses TO VestrelDirUser",
                         });
    EXPECT_TRUE(schema.rows.empty());
}

// Script 114 creates the address resolution, grants it and alters the version procedure; nothing
// else.
TEST(DirectorySchema, UpgradeAddsOnlyTheNewProcedure)
{
    const Schema& upgrade = DirectoryUpgrade();
    EXPECT_TRUE(upgrade.tables.empty());
    EXPECT_TRUE(upgrade.constraints.empty());
    EXPECT_TRUE(upgrade.executions.empty());
    ExpectProcedures(upgrade, {kVersion, kAddressResolution});
    ExpectVersion(upgrade, L"SPDirectoryVersion", L"1", L"2", L"'20091119 10:32'");
    ExpectGrants(upgrade, {L"EXECUTE ON SPGetObjectsAndParentsFromEmailAddresses TO VestrelDirUser"});
}

// An upgrade that stopped half-way leaves a database that still reports 1.1, and the next setup
// runs 114 again from its first batch.
TEST(DirectorySchema, UpgradeCanRunAgain)
{
    ExpectRerunnable(DirectoryUpgrade(), {kVersion.strName});
}

// A 1.1 database upgraded by 114 holds the same procedures as a new one made by 106.
TEST(DirectorySchema, UpgradedDatabaseEqualsANewOne)
{
    ExpectSameProcedure(DirectoryUpgrade(), Directory(), kAddressResolution.strName);
    ExpectSameProcedure(DirectoryUpgrade(), Directory(), kVersion.strName);
    for (const std::wstring& strGrant : DirectoryUpgrade().grants) {
        EXPECT_NE(std::find(Directory().grants.begin(), Directory().grants.end(), strGrant), Directory().grants.end())
            << strGrant;
    }
}
