#include "FakeServer.h"
#include "keeplib/Exports.h"

#include <cstring>

class DatabaseOperationsTest : public FakeServerTest
{
};

TEST_F(DatabaseOperationsTest, BackupStatements)
{
    struct BackupCase
    {
        const wchar_t* wszFile;
        std::wstring strStatement;
    };
    const BackupCase cases[] = {
        {L"D:\\Backups\\quar.dat",
         L"BACKUP DATABASE [KorvoQuar] TO DISK=N'D:\\Backups\\quar.dat' WITH INIT, NOUNLOAD, NAME=N'KorvoQuar backup', "
         L"NOSKIP, STATS=10, NOFORMAT"},
        {L"",
         L"BACKUP DATABASE [KorvoQuar] TO DISK=N'BKorvoQuar.dat' WITH INIT, NOUNLOAD, NAME=N'KorvoQuar auto backup', "
         L"NOSKIP, STATS=10, NOFORMAT, RETAINDAYS=7, PASSWORD='glimmer'"},
        {nullptr, L"BACKUP DATABASE [KorvoQuar] TO DISK=N'BKorvoQuar.dat' WITH INIT, NOUNLOAD, NAME=N'KorvoQuar auto "
                  L"backup', NOSKIP, STATS=10, NOFORMAT, RETAINDAYS=7, PASSWORD='glimmer'"},
    };
    for (const BackupCase& c : cases) {
        m_pServer = std::make_shared<testsupport::CFakeProvider>();
        const platform::ado::CScopedProvider provider(m_pServer);
        DatabaseExists(L"KorvoQuar");
        EXPECT_EQ(KeeplibBackup(600, L"SQL01", L"KorvoQuar", c.wszFile, 30, 0, nullptr, nullptr), S_OK);
        EXPECT_EQ(Statements(),
                  (std::vector<std::wstring>{L"SELECT name FROM master.dbo.sysdatabases WHERE name = N'KorvoQuar'",
                                             c.strStatement}));
        EXPECT_EQ(Log().back(), L"Execute Text no records timeout=600: " + c.strStatement);
    }
}

TEST_F(DatabaseOperationsTest, RefusedAutomaticBackupIsSFalse)
{
    DatabaseExists(L"KorvoQuar");
    Fail(L"BACKUP DATABASE", DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(KeeplibBackup(60, L"SQL01", L"KorvoQuar", L"", 30, 0, nullptr, nullptr), S_FALSE);
    EXPECT_TRUE(Traced("INF: Auto backup failed, maybe a backup has been recently made."));
    // Another failure, or a failure of a named backup, is a failure.
    EXPECT_EQ(KeeplibBackup(60, L"SQL01", L"KorvoQuar", L"x.dat", 30, 0, nullptr, nullptr), DB_E_ERRORSINCOMMAND);
}

TEST_F(DatabaseOperationsTest, BackupOfAMissingDatabaseSendsNoBackup)
{
    EXPECT_EQ(KeeplibBackup(60, L"SQL01", L"KorvoQuar", nullptr, 30, 0, nullptr, nullptr), MakeHResult(0x80070002));
    EXPECT_TRUE(Traced("ERR: Database (KorvoQuar) does not exist."));
    EXPECT_EQ(Statements().size(), 1u);
}

TEST_F(DatabaseOperationsTest, RestoreAndDropStatements)
{
    EXPECT_EQ(KeeplibRestore(60, L"SQL01", L"KorvoRprt", L"/backups/r.dat", 30, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(KeeplibRestore(60, L"SQL01", L"KorvoRprt", nullptr, 30, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(KeeplibDropDatabase(60, L"SQL01", L"KorvoDir", 30, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(
        Statements(),
        (std::vector<std::wstring>{
            L"RESTORE DATABASE [KorvoRprt] FROM  DISK = N'/backups/r.dat' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  "
            L"RECOVERY",
            L"RESTORE DATABASE [KorvoRprt] FROM  DISK = N'BKorvoRprt.dat' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  "
            L"RECOVERY, PASSWORD='glimmer'",
            L"IF EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'KorvoDir') DROP DATABASE [KorvoDir]",
        }));
}

TEST_F(DatabaseOperationsTest, ExistenceIsSFalseForAMissingDatabase)
{
    EXPECT_EQ(KeeplibExistsDatabase(60, L"SQL01", L"KorvoQuar", 30, 0, nullptr, nullptr), S_FALSE);
    DatabaseExists(L"KorvoQuar");
    EXPECT_EQ(KeeplibExistsDatabase(60, L"SQL01", L"KorvoQuar", 30, 0, nullptr, nullptr), S_OK);
}

TEST_F(DatabaseOperationsTest, VersionFillsTheBuildBufferAsFarAsItGoes)
{
    VersionIs(L"[dbo].[SPDirectoryVersion]", 1, 2);
    struct BufferCase
    {
        std::int32_t lCapacity;
        bool bBuffer;
        std::int32_t lWritten;
        const char* szBuild;
    };
    const BufferCase cases[] = {
        {20, true, 19, "2009-09-18 09:00:00"},
        {11, true, 10, "2009-09-18"},
        {1, true, 0, ""},
        {0, true, 0, "untouched"},
        {20, false, 20, "untouched"},
    };
    for (const BufferCase& c : cases) {
        std::int32_t lMajor = 0;
        std::int32_t lMinor = 0;
        char szBuild[21] = "untouched";
        std::int32_t lLength = c.lCapacity;
        EXPECT_EQ(KeeplibVersion(60, L"SQL01", L"KorvoDir", &lMajor, &lMinor, c.bBuffer ? szBuild : nullptr, &lLength,
                                 30, 0, nullptr, nullptr, 2),
                  S_OK);
        EXPECT_EQ(lMajor, 1);
        EXPECT_EQ(lMinor, 2);
        EXPECT_EQ(lLength, c.lWritten);
        EXPECT_STREQ(szBuild, c.szBuild);
    }
    EXPECT_EQ(Log()[0], L"Open: Provider=SQLOLEDB;Data Source=SQL01;Trusted_Connection=Yes;Connect Timeout=30;"
                        L"Initial Catalog=KorvoDir");
}

TEST_F(DatabaseOperationsTest, VersionNeedsTheVersionProcedureAndIntegers)
{
    std::int32_t lMajor = 0;
    std::int32_t lMinor = 0;
    EXPECT_EQ(KeeplibVersion(60, L"S", L"Other", &lMajor, &lMinor, nullptr, nullptr, 30, 0, nullptr, nullptr, 0),
              E_FAIL);
    EXPECT_TRUE(Traced("ERR: The database does not have a 'version' stored procedure."));

    struct OutputCase
    {
        std::vector<Variant> outputs; // return status, major, minor, build
        HRESULT hr;
        const char* szTraced;
    };
    const OutputCase cases[] = {
        {{Variant::Int32(0), Variant::String(L"1"), Variant::Int32(1), Variant::Null()},
         E_UNEXPECTED,
         "ERR: Malformed Major Version."},
        {{Variant::Int32(0), Variant::Int32(1), Variant::Null(), Variant::Date({2009, 9, 18, 9, 0, 0})},
         E_UNEXPECTED,
         "ERR: Malformed Minor Version."},
        // A build date that is NULL has no text: VariantChangeType's type mismatch.
        {{Variant::Int32(0), Variant::Int32(1), Variant::Int32(1), Variant::Null()},
         MakeHResult(0x80020005),
         "ERR: COM error: 0x80020005 ('Unknown error 0x80020005')"},
    };
    for (const OutputCase& c : cases) {
        SCOPED_TRACE(c.szTraced);
        m_pServer = std::make_shared<testsupport::CFakeProvider>();
        const platform::ado::CScopedProvider provider(m_pServer);
        ProcedureExists(L"[dbo].[SPQuarVersion]");
        FakeReply reply;
        reply.outputs = c.outputs;
        Answer(L"[dbo].[SPQuarVersion]", reply);
        lMajor = -1;
        EXPECT_EQ(
            KeeplibVersion(60, L"S", L"KorvoQuar", &lMajor, &lMinor, nullptr, nullptr, 30, 0, nullptr, nullptr, 0),
            c.hr);
        EXPECT_TRUE(Traced(c.szTraced));
        EXPECT_EQ(lMajor, -1) << "nothing is handed out on a failure";
    }
}

TEST_F(DatabaseOperationsTest, ACommandTimeoutTheProviderCannotTakeLeavesItsDefault)
{
    // ADO refuses a negative timeout, and the command keeps its 30 seconds; 0 is no limit.
    const std::pair<std::int32_t, const wchar_t*> cases[] = {{-1, L"30"}, {INT32_MIN, L"30"}, {0, L"0"}, {45, L"45"}};
    for (const auto& [lGiven, wszUsed] : cases) {
        m_pServer = std::make_shared<testsupport::CFakeProvider>();
        const platform::ado::CScopedProvider provider(m_pServer);
        std::int32_t lMajor = 0;
        std::int32_t lMinor = 0;
        char szBuild[20] = {};
        std::int32_t lBuildLength = sizeof szBuild;
        KeeplibVersion(lGiven, L"SQL01", L"KorvoQuar", &lMajor, &lMinor, szBuild, &lBuildLength, 30, 0, nullptr,
                       nullptr, 0);
        EXPECT_EQ(Log().at(1), std::wstring(L"Execute Text records timeout=") + wszUsed +
                                   L": SELECT name FROM dbo.sysobjects where id = object_id(N'[dbo].[SPQuarVersion]') "
                                   L"and OBJECTPROPERTY(id, N'IsProcedure') = 1")
            << lGiven;
    }
}
