#include "FakeServer.h"
#include "database/DBConnectionHelper.h"
#include "database/DBScriptHelper.h"
#include "database/EmbeddedScripts.h"

#include <regex>

using namespace DBScriptHelper;

namespace {

std::vector<std::wstring> Batches(const std::wstring& strText)
{
    std::vector<std::wstring> batches;
    const wchar_t* pCursor = strText.c_str();
    std::wstring strBatch;
    HRESULT hr = S_OK;
    while ((hr = GetNextBatch(pCursor, strBatch)) == S_OK)
        batches.push_back(strBatch);
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_TRUE(strBatch.empty());
    return batches;
}

// The first line of a batch that is not a comment.
std::wstring Head(const std::wstring& strBatch)
{
    std::size_t start = 0;
    while (start < strBatch.size()) {
        const std::size_t end = std::min(strBatch.find(L"\r\n", start), strBatch.size());
        const std::wstring strLine = strBatch.substr(start, end - start);
        if (!strLine.empty() && !strLine.starts_with(L"--"))
            return strLine;
        start = end + 2;
    }
    return {};
}

struct SplitCase
{
    const char* szName;
    std::wstring strText;
    std::vector<std::wstring> batches;
};

} // namespace

TEST(GetNextBatch, CutsAtLinesThatHoldOnlyGo)
{
    const SplitCase cases[] = {
        {"two batches, GO at the very end", L"SELECT 1\r\nGO\r\nSELECT 2\r\nGO", {L"SELECT 1\r\n", L"SELECT 2\r\n"}},
        {"last batch without separator", L"SELECT 1\r\nGO\r\nSELECT 2\r\n", {L"SELECT 1\r\n", L"SELECT 2\r\n"}},
        {"only white space and GO lines", L"\r\n  GO\r\n\tgo \r\n\r\nGO", {}},
        {"empty text", L"", {}},
        {"GOTO does not cut", L"IF 1=1 GOTO Done\r\nDone:\r\nGO", {L"IF 1=1 GOTO Done\r\nDone:\r\n"}},
        {"words ending in go do not cut",
         L"-- a year ago \r\nSELECT 'cargo go'\r\nGO",
         {L"-- a year ago \r\nSELECT 'cargo go'\r\n"}},
        {"GO with other text on its line does not cut", L"SELECT 1 GO\r\nSELECT 2", {L"SELECT 1 GO\r\nSELECT 2"}},
        {"leading blank lines dropped, comment kept",
         L"\r\n\r\n-- table\r\nCREATE TABLE t (a int)\r\nGO\r\n",
         {L"-- table\r\nCREATE TABLE t (a int)\r\n"}},
        {"separators in any case with blanks", L"A\r\n  go  \r\nB\r\nGo\r\nC", {L"A\r\n  ", L"B\r\n", L"C"}},
        {"line feeds only", L"A\nGO\nB", {L"A\n", L"B"}},
        {"GOOD is no separator", L"A\r\nGOOD\r\nGO", {L"A\r\nGOOD\r\n"}},
        {"GO with a count is no separator", L"A\r\nGO 2\r\nB", {L"A\r\nGO 2\r\nB"}},
        // The splitter reads lines, not T-SQL.
        {"a GO line inside a block comment cuts", L"/* a\r\nGO\r\nb */\r\nA", {L"/* a\r\n", L"b */\r\nA"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(Batches(c.strText), c.batches) << c.szName;
}

TEST(EmbeddedScripts, AreUtf16WithCrLfAndEndInGo)
{
    for (const std::int32_t lScriptID : {103, 104, 106, 107, 108, 113, 114}) {
        const auto bytes = Keeplibs::FindEmbeddedScript(lScriptID);
        ASSERT_TRUE(bytes) << lScriptID;
        ASSERT_GE(bytes->size(), 8u);
        EXPECT_EQ((*bytes)[0], 0xFF);
        EXPECT_EQ((*bytes)[1], 0xFE);
        EXPECT_EQ(bytes->size() % 2, 0u);
        std::wstring strText;
        ASSERT_EQ(LoadScript(lScriptID, strText), S_OK);
        EXPECT_TRUE(strText.ends_with(L"\r\nGO")) << lScriptID;
        for (std::size_t i = 0; i < strText.size(); ++i) {
            if (strText[i] == L'\n') {
                ASSERT_TRUE(i > 0 && strText[i - 1] == L'\r') << lScriptID << " at " << i;
            }
            if (strText[i] == L'\r') {
                ASSERT_TRUE(i + 1 < strText.size() && strText[i + 1] == L'\n') << lScriptID << " at " << i;
            }
            ASSERT_NE(strText[i], L'\t') << lScriptID << " at " << i;
        }
    }
    EXPECT_FALSE(Keeplibs::FindEmbeddedScript(105));
}

TEST(EmbeddedScripts, HoldGoOnlyOnLinesOfItsOwn)
{
    // The letters go before white space anywhere else would end the batch for tools that cut
    // scripts by the letters alone.
    const std::wregex goBeforeSpace(L"go(\\s|$)", std::regex::icase);
    for (const std::int32_t lScriptID : {103, 104, 106, 107, 108, 113, 114}) {
        std::wstring strText;
        ASSERT_EQ(LoadScript(lScriptID, strText), S_OK);
        std::size_t start = 0;
        while (start < strText.size()) {
            const std::size_t end = std::min(strText.find(L"\r\n", start), strText.size());
            const std::wstring strLine = strText.substr(start, end - start);
            if (strLine != L"GO") {
                EXPECT_FALSE(std::regex_search(strLine, goBeforeSpace)) << lScriptID << ": " << WideToNarrow(strLine);
            }
            start = end + 2;
        }
    }
}

TEST(EmbeddedScripts, EachBatchCreatesItsObjectInOrder)
{
    const std::vector<std::pair<std::int32_t, std::vector<std::wstring>>> scripts = {
        {103,
         {L"CREATE TABLE [dbo].[QuarServers]",
          L"ALTER TABLE [dbo].[QuarServers] WITH NOCHECK",
          L"ALTER TABLE [dbo].[QuarServers]",
          L"CREATE TABLE [dbo].[QuarItems]",
          L"ALTER TABLE [dbo].[QuarItems] WITH NOCHECK",
          L"ALTER TABLE [dbo].[QuarItems]",
          L"CREATE TABLE [dbo].[QuarAddresses]",
          L"ALTER TABLE [dbo].[QuarAddresses] WITH NOCHECK",
          L"ALTER TABLE [dbo].[QuarAddresses]",
          L"CREATE TABLE [dbo].[QuarInfections]",
          L"CREATE CLUSTERED INDEX [IX_QuarInfections] ON [dbo].[QuarInfections]",
          L"ALTER TABLE [dbo].[QuarInfections]",
          L"CREATE TABLE [dbo].[QuarThreats]",
          L"CREATE CLUSTERED INDEX [IX_QuarThreats] ON [dbo].[QuarThreats]",
          L"ALTER TABLE [dbo].[QuarThreats]",
          L"CREATE TABLE [dbo].[QuarSpamFeatures]",
          L"CREATE CLUSTERED INDEX [IX_QuarSpamFeatures] ON [dbo].[QuarSpamFeatures]",
          L"ALTER TABLE [dbo].[QuarSpamFeatures]",
          L"CREATE PROCEDURE [dbo].[SPQuarAddItem]",
          L"CREATE PROCEDURE [dbo].[SPQuarGetItems]",
          L"CREATE PROCEDURE [dbo].[SPQuarDelItem]",
          L"CREATE PROCEDURE [dbo].[SPQuarMarkRetrieved2]",
          L"CREATE PROCEDURE [dbo].[SPQuarGetIDsForFile]",
          L"EXEC sp_addrole N'VestrelQuarUser'",
          L"CREATE PROCEDURE [dbo].[SPQuarVersion]",
          L"GRANT SELECT ON [dbo].[QuarServers] TO [VestrelQuarUser]"}},
        {104,
         {L"CREATE TABLE [dbo].[RprtPeriod]",
          L"CREATE TABLE [dbo].[RprtSource]",
          L"CREATE TABLE [dbo].[RprtAddress]",
          L"CREATE TABLE [dbo].[RprtRelay]",
          L"CREATE TABLE [dbo].[RprtVirusSpamRule]",
          L"CREATE TABLE [dbo].[RprtCategory]",
          L"CREATE TABLE [dbo].[RprtRuntimeFactType]",
          L"CREATE TABLE [dbo].[RprtSpamRange]",
          L"CREATE TABLE [dbo].[RprtAttachment]",
          L"CREATE TABLE [dbo].[RprtAttachment2]",
          L"CREATE TABLE [dbo].[RprtPhrase]",
          L"CREATE TABLE [dbo].[RprtRuntimeFact]",
          L"CREATE TABLE [dbo].[RprtMessageCount]",
          L"CREATE TABLE [dbo].[RprtQuarItemCount]",
          L"CREATE TABLE [dbo].[RprtAddressCount]",
          L"CREATE TABLE [dbo].[RprtRelayCount]",
          L"CREATE TABLE [dbo].[RprtSpamRangeCount]",
          L"CREATE TABLE [dbo].[RprtVirusSpamRuleCount]",
          L"CREATE TABLE [dbo].[RprtQuarReleaseCount]",
          L"CREATE TABLE [dbo].[RprtAttachmentCount]",
          L"CREATE TABLE [dbo].[RprtAttachmentCount2]",
          L"CREATE TABLE [dbo].[RprtPhraseCount]",
          L"INSERT INTO [dbo].[RprtCategory] ([ID], [Category], [Ordinal]) VALUES (0, 0, 0)",
          L"INSERT INTO [dbo].[RprtRuntimeFactType] ([ID], [Type]) VALUES (1, 1)",
          L"INSERT INTO [dbo].[RprtSpamRange] ([ID], [MinRange], [MaxRange]) VALUES (1, 0, 9)",
          L"CREATE PROCEDURE [dbo].[SPRprtCollect2]",
          L"CREATE PROCEDURE [dbo].[SPRprtPurge2]",
          L"CREATE PROCEDURE [dbo].[SPRprtCollect]",
          L"EXEC sp_addrole N'VestrelRprtUser'",
          L"CREATE PROCEDURE [dbo].[SPRprtVersion]",
          L"GRANT SELECT ON [dbo].[RprtPeriod] TO [VestrelRprtUser]"}},
        {106,
         {L"CREATE TABLE [dbo].[Objects]",
          L"CREATE TABLE [dbo].[EmailAddresses]",
          L"CREATE NONCLUSTERED INDEX [IX_EmailAddresses] ON [dbo].[EmailAddresses]",
          L"CREATE TABLE [dbo].[Members]",
          L"CREATE TABLE [dbo].[Parents]",
          L"CREATE TABLE [dbo].[Servers]",
          L"CREATE TABLE [dbo].[Domains]",
          L"CREATE TABLE [dbo].[TempObjects]",
          L"CREATE TABLE [dbo].[DeletedObjects]",
          L"CREATE TABLE [dbo].[TempEmailAddresses]",
          L"CREATE TABLE [dbo].[TempMembers]",
          L"CREATE TABLE [dbo].[TempServers]",
          L"CREATE PROCEDURE [dbo].[SPGetObjects]",
          L"CREATE PROCEDURE [dbo].[SPGetObjectFromUniqueIdentifier]",
          L"CREATE PROCEDURE [dbo].[SPGetObjectFromEmailAddress]",
          L"CREATE PROCEDURE [dbo].[SPGetObjectFromDistinguishedName]",
          L"CREATE PROCEDURE [dbo].[SPGetMembers]",
          L"CREATE PROCEDURE [dbo].[SPGetParents]",
          L"CREATE PROCEDURE [dbo].[SPCreateObject]",
          L"CREATE PROCEDURE [dbo].[SPUpdateObject]",
          L"CREATE PROCEDURE [dbo].[SPDeleteObject]",
          L"CREATE PROCEDURE [dbo].[SPCreateDomain]",
          L"CREATE PROCEDURE [dbo].[SPEmptyTempTables]",
          L"CREATE PROCEDURE [dbo].[SPCreateTempObject]",
          L"CREATE PROCEDURE [dbo].[SPCreateDeletedObject]",
          L"CREATE PROCEDURE [dbo].[SPCreateTempEmailAddress]",
          L"CREATE PROCEDURE [dbo].[SPCreateTempMember]",
          L"CREATE PROCEDURE [dbo].[SPSynchronizeFull]",
          L"CREATE PROCEDURE [dbo].[SPSynchronizeIncremental]",
          L"CREATE PROCEDURE [dbo].[SPEmptyTempServerTable]",
          L"CREATE PROCEDURE [dbo].[SPUpdateServers]",
          L"CREATE PROCEDURE [dbo].[SPGetObjectsAndParentsFromEmailAddresses]",
          L"EXEC sp_addrole N'VestrelDirUser'",
          L"GRANT SELECT ON [dbo].[Objects] TO [VestrelDirUser]",
          L"CREATE PROCEDURE [dbo].[SPDirectoryVersion]",
          L"GRANT EXECUTE ON [dbo].[SPDirectoryVersion] TO [VestrelDirUser]"}},
        {107,
         {L"CREATE TABLE [dbo].[CnfgGroup]",
          L"CREATE TABLE [dbo].[CnfgServer]",
          L"CREATE TABLE [dbo].[CnfgData]",
          L"CREATE PROCEDURE [dbo].[SPCreateNewGroup]",
          L"CREATE PROCEDURE [dbo].[SPCreateNewGroup2]",
          L"CREATE PROCEDURE [dbo].[SPChangeGroupName]",
          L"CREATE PROCEDURE [dbo].[SPDeleteGroup]",
          L"CREATE PROCEDURE [dbo].[SPGetServersInGroup]",
          L"CREATE PROCEDURE [dbo].[SPAddServerToGroup]",
          L"CREATE PROCEDURE [dbo].[SPRemoveServerFromGroup]",
          L"CREATE PROCEDURE [dbo].[SPRetrieveGroupConfiguration]",
          L"CREATE PROCEDURE [dbo].[SPSaveGroupConfiguration]",
          L"CREATE PROCEDURE [dbo].[SPGetAllGroups]",
          L"CREATE PROCEDURE [dbo].[SPDeleteEmptyGroups]",
          L"CREATE PROCEDURE [dbo].[SPGetGroup]",
          L"CREATE PROCEDURE [dbo].[SPGetGroupContainingServer]",
          L"CREATE PROCEDURE [dbo].[SPGetServerInGroup]",
          L"EXEC sp_addrole N'VestrelCnfgUser'",
          L"CREATE PROCEDURE [dbo].[SPCnfgVersion]",
          L"GRANT SELECT ON [dbo].[CnfgGroup] TO [VestrelCnfgUser]"}},
        {108,
         {L"IF OBJECT_ID(N'[dbo].[RprtAttachment2]') IS NULL", L"IF OBJECT_ID(N'[dbo].[RprtAttachmentCount2]') IS NULL",
          L"IF OBJECT_ID(N'[dbo].[SPRprtCollect2]') IS NULL", L"ALTER PROCEDURE [dbo].[SPRprtCollect2]",
          L"ALTER PROCEDURE [dbo].[SPRprtPurge2]", L"ALTER PROCEDURE [dbo].[SPRprtCollect]",
          L"ALTER PROCEDURE [dbo].[SPRprtVersion]"}},
        {113,
         {L"IF OBJECT_ID(N'[dbo].[SPCreateNewGroup2]') IS NULL", L"ALTER PROCEDURE [dbo].[SPCreateNewGroup2]",
          L"ALTER PROCEDURE [dbo].[SPCnfgVersion]"}},
        {114,
         {L"IF OBJECT_ID(N'[dbo].[SPGetObjectsAndParentsFromEmailAddresses]') IS NULL",
          L"ALTER PROCEDURE [dbo].[SPGetObjectsAndParentsFromEmailAddresses]",
          L"ALTER PROCEDURE [dbo].[SPDirectoryVersion]"}},
    };
    for (const auto& [lScriptID, heads] : scripts) {
        std::wstring strText;
        ASSERT_EQ(LoadScript(lScriptID, strText), S_OK);
        std::vector<std::wstring> actualHeads;
        for (const std::wstring& strBatch : Batches(strText))
            actualHeads.push_back(Head(strBatch));
        EXPECT_EQ(actualHeads, heads) << lScriptID;
    }
}

class RunScriptTest : public FakeServerTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(UTIL::DBConnectionHelper::Connect(L"S", L"KorvoCnfg", m_pCnx, 30, 0, L"", L""), S_OK);
    }
    platform::ado::ConnectionPtr m_pCnx;
};

TEST_F(RunScriptTest, SendsEveryBatchInOrder)
{
    EXPECT_EQ(RunScript(60, m_pCnx, 113, false), S_OK);
    std::wstring strText;
    ASSERT_EQ(LoadScript(113, strText), S_OK);
    EXPECT_EQ(Statements(), Batches(strText));
    const auto log = Log();
    for (const std::wstring& strLine : std::vector<std::wstring>(log.begin() + 1, log.end()))
        EXPECT_TRUE(strLine.starts_with(L"Execute Text no records timeout=60: ")) << WideToNarrow(strLine);
}

TEST_F(RunScriptTest, StopsAtTheFirstFailingBatch)
{
    std::wstring strText;
    ASSERT_EQ(LoadScript(107, strText), S_OK);
    const auto batches = Batches(strText);
    Fail(batches[2], DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(RunScript(60, m_pCnx, 107, false), DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(Statements(), std::vector<std::wstring>(batches.begin(), batches.begin() + 3));
}

TEST_F(RunScriptTest, UnknownScriptIsAResourceNotFound)
{
    EXPECT_EQ(RunScript(60, m_pCnx, 105, false), MakeHResult(0x80070716));
    EXPECT_TRUE(Traced("ERR: FindResource failed GLE=(1814)."));
    EXPECT_EQ(TracedFileColumn("ERR: LoadScript(lScriptID) failed with hr=(0x80070716)."), "DBScriptHelper.cpp  ");
    EXPECT_TRUE(Statements().empty());
}

TEST(BuildAddNTUserAccessRights, QuotesTheAccountAndFollowsTheLayout)
{
    std::wstring strBatch;
    ASSERT_EQ(BuildAddNTUserAccessRights(L"DOMAIN\\o'neil", L"VestrelQuarUser", strBatch), S_OK);
    EXPECT_EQ(strBatch,
              L"DECLARE @ntaccount as nvarchar(128)\n"
              L"DECLARE @ntdbuser as sysname\n"
              L"SET @ntaccount=N'DOMAIN\\o''neil'\n"
              L"SET @ntdbuser=N'DOMAIN\\o''neil'\n"
              L"IF NOT EXISTS (SELECT 1 FROM master.dbo.syslogins where loginname=@ntaccount and denylogin=0 and "
              L"hasaccess=1 and isntname=1)\n"
              L"BEGIN\n"
              L"\tIF EXISTS (SELECT 1 FROM master.dbo.syslogins WHERE loginname=@ntaccount)\n"
              L"\t\tEXEC sp_revokelogin @ntaccount\n"
              L"\n"
              L"\tEXEC sp_grantlogin @ntaccount\n"
              L"END\n"
              L"\n"
              L"-- use other name if exits\n"
              L"DECLARE @ntdbuserother as sysname\n"
              L"\n"
              L"SELECT @ntdbuserother=[U1].name\n"
              L"FROM master.dbo.syslogins AS [L1]\n"
              L"INNER JOIN dbo.sysusers AS [U1]\n"
              L"\ton [U1].sid=[L1].sid\n"
              L"WHERE [L1].isntname=1\n"
              L"\tAND [L1].loginname=@ntaccount\n"
              L"\n"
              L"IF NOT (@ntdbuserother IS NULL)\n"
              L"BEGIN\n"
              L"\tSET @ntdbuser=@ntdbuserother\n"
              L"END\n"
              L"\n"
              L"IF @ntdbuser != 'dbo'\n"
              L"-- add db access and role\n"
              L"IF NOT EXISTS\n"
              L"\t(SELECT 1 FROM dbo.sysusers AS [U1]\n"
              L"\t\tINNER JOIN dbo.sysmembers AS [M1]\n"
              L"\t\t\tON [U1].uid=[M1].memberuid\n"
              L"\t\tINNER JOIN dbo.sysusers AS [G1]\n"
              L"\t\t\tON [M1].groupuid=[G1].uid\n"
              L"\t\tWHERE [U1].name=@ntdbuser\n"
              L"\t\t\tAND [U1].hasdbaccess=1\n"
              L"\t\t\tAND [U1].isntname=1\n"
              L"\t\t\tAND [G1].name='VestrelQuarUser'\n"
              L"\t)\n"
              L"BEGIN\n"
              L"\tIF EXISTS (SELECT 1 FROM dbo.sysusers WHERE name=@ntdbuser AND hasdbaccess=0 AND isntname=1)\n"
              L"\t\tEXEC sp_revokedbaccess @ntdbuser\n"
              L"\tIF NOT EXISTS (SELECT 1 FROM dbo.sysusers WHERE name=@ntdbuser)\n"
              L"\t\tEXEC sp_grantdbaccess @ntaccount,@ntdbuser\n"
              L"\n"
              L"\tEXEC sp_addrolemember 'VestrelQuarUser',@ntdbuser\n"
              L"END\n");
}
