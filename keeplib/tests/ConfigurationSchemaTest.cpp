// The configuration schema (script 107) and its upgrade from 1.1 (script 113) against the
// tables, keys, procedures and grants the service relies on.

#include "SchemaInspector.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace SchemaInspector;

namespace {

const Schema& Configuration()
{
    static const Schema schema = InspectScript(107);
    return schema;
}

const Schema& ConfigurationUpgrade()
{
    static const Schema schema = InspectScript(113);
    return schema;
}

const ExpectedProcedure kVersion = {
    L"SPCnfgVersion", {L"@Major_out int OUTPUT", L"@Minor_out int OUTPUT", L"@Build_out datetime OUTPUT"}};
const ExpectedProcedure kCreateNewGroup2 = {
    L"SPCreateNewGroup2", {L"@GroupName_in nvarchar(256)", L"@CnfgVersion_in int", L"@ID_out int OUTPUT"}};

} // namespace

TEST(ConfigurationSchema, TablesHaveTheirColumnsAndKeys)
{
    ExpectTables(
        Configuration(),
        {
            {L"CnfgGroup",
             {L"ID int IDENTITY(1,1) NOT NULL", L"Name nvarchar(256) NOT NULL", L"Version int NOT NULL"},
             {L"PK_CnfgGroup PRIMARY KEY NONCLUSTERED (ID)", L"IX_CnfgGroup UNIQUE CLUSTERED (Name, Version)"}},
            {L"CnfgServer",
             {L"ID int IDENTITY(1,1) NOT NULL", L"GroupID int NOT NULL", L"Name nvarchar(64) NOT NULL",
              L"Capabilities int NOT NULL"},
             {L"PK_CnfgServer PRIMARY KEY NONCLUSTERED (ID)", L"IX_CnfgServer UNIQUE CLUSTERED (GroupID, Name)",
              L"FK_CnfgServer_CnfgGroup FOREIGN KEY (GroupID) REFERENCES CnfgGroup (ID)"}},
            {L"CnfgData",
             {L"GroupID int NOT NULL", L"Type int NOT NULL", L"Data ntext NOT NULL"},
             {L"IX_CnfgData UNIQUE CLUSTERED (GroupID, Type)",
              L"FK_CnfgData_CnfgGroup FOREIGN KEY (GroupID) REFERENCES CnfgGroup (ID)"}},
        });
}

// Every key is written inside its CREATE TABLE: one batch per table.
TEST(ConfigurationSchema, KeysAreWrittenInsideTheirTable)
{
    ASSERT_FALSE(Configuration().constraints.empty());
    for (const Constraint& constraint : Configuration().constraints)
        EXPECT_TRUE(constraint.bInline) << constraint.Describe();
}

TEST(ConfigurationSchema, ProceduresHaveTheirParameters)
{
    ExpectProcedures(
        Configuration(),
        {
            kVersion,
            {L"SPCreateNewGroup", {L"@GroupName_in nvarchar(256)", L"@ID_out int OUTPUT", L"@Version_out int OUTPUT"}},
            kCreateNewGroup2,
            {L"SPChangeGroupName", {L"@ID_in int", L"@NewGroupName_in nvarchar(256)"}},
            {L"SPDeleteGroup", {L"@ID_in int"}},
            {L"SPGetServersInGroup", {L"@GroupID_in int"}},
            {L"SPAddServerToGroup", {L"@GroupID_in int", L"@ServerName_in nvarchar(64)", L"@Capabilities_in int"}},
            {L"SPRemoveServerFromGroup", {L"@GroupID_in int", L"@ServerName_in nvarchar(64)"}},
            {L"SPRetrieveGroupConfiguration", {L"@GroupID_in int", L"@ConfigTypes_in int"}},
            {L"SPSaveGroupConfiguration",
             {L"@GroupID_in int", L"@ConfigTypes_in int", L"@SMTPConfigXML_in ntext", L"@StoreConfigXML_in ntext",
              L"@GeneralConfigXML_in ntext"}},
            {L"SPGetAllGroups", {}},
            {L"SPDeleteEmptyGroups", {}},
            {L"SPGetGroup", {L"@GroupName_in nvarchar(256)"}},
            {L"SPGetGroupContainingServer", {L"@ServerName_in nvarchar(64)"}},
            {L"SPGetServerInGroup", {L"@GroupID_in int", L"@ServerName_in nvarchar(64)"}},
        });
    for (const Procedure& procedure : Configuration().procedures)
        EXPECT_FALSE(procedure.bAlter) << procedure.strName;
}

// A duplicate name returns its error number and no identifier, even to a caller that bound the
// output for input too.
TEST(ConfigurationSchema, FailedCallsHandBackNoOutput)
{
    ExpectNoOutputOnFailure(Configuration(), kVersion.strName);
    ExpectNoOutputOnFailure(ConfigurationUpgrade(), kVersion.strName);
}

TEST(ConfigurationSchema, VersionIsOnePointTwo)
{
    ExpectVersion(Configuration(), L"SPCnfgVersion", L"1", L"2", L"'20090918 09:00'");
}

TEST(ConfigurationSchema, RoleIsGrantedExactlyItsRights)
{
    EXPECT_EQ(Configuration().ExecutionTexts(), std::vector<std::wstring>{L"sp_addrole VestrelCnfgUser"});
    ExpectGrants(Configuration(), {
                                      L"SELECT ON CnfgGroup TO VestrelCnfgUser",
                                      L"SELECT ON CnfgServer TO VestrelCnfgUser",
                                      L"SELECT ON CnfgData TO VestrelCnfgUser",
                                      L"EXECUTE ON SPCnfgVersion TO VestrelCnfgUser",
                                      L"EXECUTE ON SPCreateNewGroup TO VestrelCnfgUser",
                                      L"EXECUTE ON SPCreateNewGroup2 TO VestrelCnfgUser",
                                      L"EXECUTE ON SPChangeGroupName TO VestrelCnfgUser",
                                      L"EXECUTE ON SPDeleteGroup TO VestrelCnfgUser",
                                      L"EXECUTE ON SPGetServersInGroup TO VestrelCnfgUser",
                                      L"EXECUTE ON SPAddServerToGroup TO VestrelCnfgUser",
                                      L"EXECUTE ON SPRemoveServerFromGroup TO VestrelCnfgUser",
                                      L"EXECUTE ON SPRetrieveGroupConfiguration TO VestrelCnfgUser",
                                      L"EXECUTE ON SPSaveGroupConfiguration TO VestrelCnfgUser",
                                      L"EXECUTE ON SPGetAllGroups TO VestrelCnfgUser",
                                      L"EXECUTE ON SPDeleteEmptyGroups TO VestrelCnfgUser",
                                      L"EXECUTE ON SPGetGroup TO VestrelCnfgUser",
                                      L"EXECUTE ON SPGetGroupContainingServer TO VestrelCnfgUser",
                                      L"EXECUTE ON SPGetServerInGroup TO VestrelCnfgUser",
                                  });
    EXPECT_TRUE(Configuration().rows.empty());
}

// Script 113 creates SPCreateNewGroup2, grants it and alters the version procedure; nothing else.
TEST(ConfigurationSchema, UpgradeAddsOnlyTheNewProcedure)
{
    const Schema& upgrade = ConfigurationUpgrade();
    EXPECT_TRUE(upgrade.tables.empty());
    EXPECT_TRUE(upgrade.constraints.empty());
    EXPECT_TRUE(upgrade.executions.empty());
    ExpectProcedures(upgrade, {kVersion, kCreateNewGroup2});
    ExpectVersion(upgrade, L"SPCnfgVersion", L"1", L"2", L"'20090918 09:00'");
    ExpectGrants(upgrade, {L"EXECUTE ON SPCreateNewGroup2 TO VestrelCnfgUser"});
}

// An upgrade that stopped half-way leaves a database that still reports 1.1, and the next setup
// runs 113 again from its first batch.
TEST(ConfigurationSchema, UpgradeCanRunAgain)
{
    ExpectRerunnable(ConfigurationUpgrade(), {kVersion.strName});
}

// A 1.1 database upgraded by 113 holds the same procedures as a new one made by 107.
TEST(ConfigurationSchema, UpgradedDatabaseEqualsANewOne)
{
    ExpectSameProcedure(ConfigurationUpgrade(), Configuration(), L"SPCreateNewGroup2");
    ExpectSameProcedure(ConfigurationUpgrade(), Configuration(), L"SPCnfgVersion");
    for (const std::wstring& strGrant : ConfigurationUpgrade().grants) {
        EXPECT_NE(std::find(Configuration().grants.begin(), Configuration().grants.end(), strGrant),
                  Configuration().grants.end())
            << strGrant;
    }
}
