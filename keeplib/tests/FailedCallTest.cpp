// The lines of a failed call or result: their words, the code handed on, and the file and line of
// the place that checked the result; then, table by table, the failure lines of the database
// operations as they trace them.

#include "FailedCall.h"
#include "FakeServer.h"
#include "database/DBScriptHelper.h"
#include "keeplib/Exports.h"

#include <functional>

using namespace Keeplibs;

namespace {

// The one line traced, as the capture holds it, is the message at this file and line.
void ExpectOnlyLine(const testsupport::TraceCapture& trace, int iLine, const std::string& strMessage)
{
    EXPECT_EQ(trace.Messages(), std::vector<std::string>{strMessage});
    EXPECT_EQ(trace.FileColumnOf(strMessage), "FailedCallTest.cpp  ");
    ASSERT_EQ(trace.Lines().size(), 1u);
    EXPECT_NE(trace.Lines()[0].find(FormatA(" ln:%05d ", iLine)), std::string::npos) << trace.Lines()[0];
}

} // namespace

TEST(FailedCall, TracesTheCallWhereItWasCheckedAndHandsTheCodeOn)
{
    {
        const testsupport::TraceCapture trace;
        const int iLine = __LINE__ + 1;
        EXPECT_EQ(TraceFailedCall(DB_E_ERRORSINCOMMAND, L"Connect(KorvoQuar)"), DB_E_ERRORSINCOMMAND);
        ExpectOnlyLine(trace, iLine, "ERR: Connect(KorvoQuar) failed with hr=(0x80040e14).");
    }
    {
        // A name is text, never a format: it may come from a server, a cluster or a caller.
        const testsupport::TraceCapture trace;
        const int iLine = __LINE__ + 1;
        EXPECT_EQ(TraceFailedCall(E_FAIL, L"ISClusProperty->get_Value(100%%)"), E_FAIL);
        ExpectOnlyLine(trace, iLine, "ERR: ISClusProperty->get_Value(100%%) failed with hr=(0x80004005).");
    }
    {
        const testsupport::TraceCapture trace;
        const int iLine = __LINE__ + 1;
        EXPECT_EQ(TraceFailedResult(E_POINTER, L"plType == NULL ? E_POINTER : S_OK"), E_POINTER);
        ExpectOnlyLine(trace, iLine, "ERR: plType == NULL ? E_POINTER : S_OK hr=0x80004003");
    }
}

TEST(FailedCall, RaisesOnlyAFailureTracedWhereItWasChecked)
{
    for (const HRESULT hr : {S_OK, S_FALSE}) {
        const testsupport::TraceCapture trace;
        EXPECT_NO_THROW(RaiseIfFailed(hr, L"hrResult"));
        EXPECT_TRUE(trace.Lines().empty());
    }
    const testsupport::TraceCapture trace;
    HRESULT hrRaised = S_OK;
    const int iLine = __LINE__ + 2;
    try {
        RaiseIfFailed(DB_E_ERRORSINCOMMAND, L"hrExists");
    } catch (const UTIL::COM::_com_error& e) {
        hrRaised = e.Error();
    }
    EXPECT_EQ(hrRaised, DB_E_ERRORSINCOMMAND);
    ExpectOnlyLine(trace, iLine, "ERR: hrExists hr=0x80040E14");
}

namespace {

// One failed step of an operation: what the server does, the call, and the lines from the
// failure on. What follows the failure line tells an operation that returned the code at once
// from one that raised it through its frame.
struct FailedStepCase
{
    const char* szName;
    std::function<void()> arrange;
    std::function<HRESULT()> run;
    HRESULT hr;
    std::string strFileColumn;
    std::vector<std::string> fromFailure;
};

const std::wstring kProcedureQuery = L"SELECT name FROM dbo.sysobjects where id = object_id(N'";

std::wstring FirstBatch(std::int32_t lScriptID)
{
    std::wstring strText;
    EXPECT_EQ(DBScriptHelper::LoadScript(lScriptID, strText), S_OK);
    const wchar_t* pCursor = strText.c_str();
    std::wstring strBatch;
    EXPECT_EQ(DBScriptHelper::GetNextBatch(pCursor, strBatch), S_OK);
    return strBatch;
}

} // namespace

class FailedStepTest : public FakeServerTest
{
protected:
    void Check(const std::vector<FailedStepCase>& cases)
    {
        for (const FailedStepCase& c : cases) {
            SCOPED_TRACE(c.szName);
            m_pServer = std::make_shared<testsupport::CFakeProvider>();
            const platform::ado::CScopedProvider provider(m_pServer);
            c.arrange();
            const testsupport::TraceCapture trace;
            EXPECT_EQ(c.run(), c.hr);
            const std::vector<std::string> messages = trace.Messages();
            const auto failure = std::find(messages.begin(), messages.end(), c.fromFailure.front());
            if (failure == messages.end()) {
                ADD_FAILURE() << "not traced: " << c.fromFailure.front();
                continue;
            }
            EXPECT_EQ(std::vector<std::string>(failure, messages.end()), c.fromFailure);
            EXPECT_EQ(trace.FileColumnOf(c.fromFailure.front()), c.strFileColumn);
        }
    }

    static HRESULT Setup(const wchar_t* wszDatabase, std::uint32_t lDatabaseType)
    {
        return KeeplibSetup(90, L"SQL01", wszDatabase, 15, 0, nullptr, nullptr, lDatabaseType, L"CORP\\svc");
    }
    static HRESULT Version()
    {
        std::int32_t lMajor = 0;
        std::int32_t lMinor = 0;
        return KeeplibVersion(60, L"SQL01", L"KorvoQuar", &lMajor, &lMinor, nullptr, nullptr, 30, 0, nullptr, nullptr,
                              0);
    }
};

TEST_F(FailedStepTest, SetupTracesEachFailedStepAndEndsWithItsCode)
{
    const std::string kFile = "Setup.cpp           ";
    const std::string kLeaving = "INF: + Leaving Function : KeeplibSetup()";
    Check({
        {"connection to master",
         [&] { FailOpen(L"Initial Catalog=master", E_FAIL); },
         [] { return Setup(L"KorvoQuar", 0); },
         E_FAIL,
         kFile,
         {"ERR: Connect(master) failed with hr=(0x80004005).", kLeaving}},
        {"existence test",
         [&] { Fail(L"SELECT name FROM master.dbo.sysdatabases", DB_E_ERRORSINCOMMAND); },
         [] { return Setup(L"KorvoQuar", 0); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: Keeplibs::KeeplibExistsDatabase failed with hr=(0x80040e14).", kLeaving}},
        {"creation",
         [&] { Fail(L"IF NOT EXISTS", DB_E_ERRORSINCOMMAND); },
         [] { return Setup(L"KorvoQuar", 0); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: Keeplibs::KeeplibCreateDatabase failed with hr=(0x80040e14).", kLeaving}},
        {"connection to the database",
         [&] { FailOpen(L"Initial Catalog=KorvoQuar", E_FAIL); },
         [] { return Setup(L"KorvoQuar", 0); },
         E_FAIL,
         kFile,
         {"ERR: Connect(KorvoQuar) failed with hr=(0x80004005).", kLeaving}},
        {"creation script",
         [&] { Fail(FirstBatch(107), DB_E_ERRORSINCOMMAND); },
         [] { return Setup(L"KorvoCnfg", 3); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: RunScript(CREATE, 107) failed with hr=(0x80040e14).", kLeaving}},
        // The upgrade raises its failures: the frame traces them again and writes the result.
        {"version procedure of an existing database",
         [&] {
             DatabaseExists(L"KorvoQuar");
             Fail(kProcedureQuery, DB_E_ERRORSINCOMMAND);
         },
         [] { return Setup(L"KorvoQuar", 0); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: Keeplibs::KeeplibExistsStoredProcedure([dbo].[SPQuarVersion]) failed with hr=(0x80040e14).",
          "ERR: COM error: 0x80040E14 ('Unknown error 0x80040E14')", "INF: Returing, hrResult=0x80040E14", kLeaving}},
        {"version of an existing database",
         [&] {
             DatabaseExists(L"KorvoQuar");
             ProcedureExists(L"[dbo].[SPQuarVersion]");
             Fail(L"[dbo].[SPQuarVersion]", DB_E_ERRORSINCOMMAND);
         },
         [] { return Setup(L"KorvoQuar", 0); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: KeeplibGetVersion failed with hr=(0x80040e14).",
          "ERR: COM error: 0x80040E14 ('Unknown error 0x80040E14')", "INF: Returing, hrResult=0x80040E14", kLeaving}},
        {"upgrade script",
         [&] {
             DatabaseExists(L"KorvoRprt");
             VersionIs(L"[dbo].[SPRprtVersion]", 1, 2);
             Fail(FirstBatch(DBScriptHelper::IDR_UPGRADE_RPRT_TFT), DB_E_ERRORSINCOMMAND);
         },
         [] { return Setup(L"KorvoRprt", 1); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: RunScript(lCmdTimeout, pCnx, IDR_UPGRADE_RPRT_TFT) hr=0x80040E14",
          "ERR: COM error: 0x80040E14 ('Unknown error 0x80040E14')", "INF: Returing, hrResult=0x80040E14", kLeaving}},
    });
}

TEST_F(FailedStepTest, DatabaseOperationsTraceEachFailedStepAndEndWithItsCode)
{
    // The column holds the first 20 characters of the file name.
    const std::string kFile = "DatabaseOperations.c";
    Check({
        {"version: connection to the database",
         [&] { FailOpen(L"Initial Catalog=KorvoQuar", E_FAIL); },
         [] { return Version(); },
         E_FAIL,
         kFile,
         {"ERR: Connect(KorvoQuar) failed with hr=(0x80004005).", "INF: + Leaving Function : KeeplibVersion()"}},
        {"version: version procedure",
         [&] { Fail(kProcedureQuery, DB_E_ERRORSINCOMMAND); },
         [] { return Version(); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: Keeplibs::KeeplibExistsStoredProcedure([dbo].[SPQuarVersion]) failed with hr=(0x80040e14).",
          "INF: + Leaving Function : KeeplibVersion()"}},
        {"version: version",
         [&] {
             ProcedureExists(L"[dbo].[SPQuarVersion]");
             Fail(L"[dbo].[SPQuarVersion]", DB_E_ERRORSINCOMMAND);
         },
         [] { return Version(); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: KeeplibGetVersion failed with hr=(0x80040e14).", "INF: + Leaving Function : KeeplibVersion()"}},
        {"backup: connection to master",
         [&] { FailOpen(L"Initial Catalog=master", E_FAIL); },
         [] { return KeeplibBackup(60, L"SQL01", L"KorvoQuar", nullptr, 30, 0, nullptr, nullptr); },
         E_FAIL,
         kFile,
         {"ERR: Connect(master) failed with hr=(0x80004005).", "INF: + Leaving Function : Keeplibs::KeeplibBackup()",
          "INF: + Leaving Function : KeeplibBackup()"}},
        {"backup: existence test",
         [&] { Fail(L"SELECT name FROM master.dbo.sysdatabases", DB_E_ERRORSINCOMMAND); },
         [] { return KeeplibBackup(60, L"SQL01", L"KorvoQuar", nullptr, 30, 0, nullptr, nullptr); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: KeeplibExistsDatabase failed with hr=(0x80040e14).",
          "INF: + Leaving Function : Keeplibs::KeeplibBackup()", "INF: + Leaving Function : KeeplibBackup()"}},
        {"backup: statement",
         [&] {
             DatabaseExists(L"KorvoQuar");
             Fail(L"BACKUP DATABASE", DB_E_ERRORSINCOMMAND);
         },
         [] { return KeeplibBackup(60, L"SQL01", L"KorvoQuar", L"q.dat", 30, 0, nullptr, nullptr); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: KeeplibBackupDatabaseEx failed with hr=(0x80040e14).",
          "INF: + Leaving Function : Keeplibs::KeeplibBackup()", "INF: + Leaving Function : KeeplibBackup()"}},
        {"restore: statement",
         [&] { Fail(L"RESTORE DATABASE", DB_E_ERRORSINCOMMAND); },
         [] { return KeeplibRestore(60, L"SQL01", L"KorvoQuar", nullptr, 30, 0, nullptr, nullptr); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: KeeplibRestoreDatabaseEx failed with hr=(0x80040e14).",
          "INF: + Leaving Function : Keeplibs::KeeplibRestore()", "INF: + Leaving Function : KeeplibRestore()"}},
        // The existence export raises its failures, and its frame writes no result line.
        {"existence: connection to master",
         [&] { FailOpen(L"Initial Catalog=master", E_FAIL); },
         [] { return KeeplibExistsDatabase(60, L"SQL01", L"KorvoQuar", 30, 0, nullptr, nullptr); },
         E_FAIL,
         kFile,
         {"ERR: hrConnect hr=0x80004005", "ERR: COM error: 0x80004005 ('Unspecified error')",
          "INF: + Leaving Function : Keeplibs::KeeplibExistsDatabase()",
          "INF: + Leaving Function : KeeplibExistsDatabase()"}},
        {"existence: existence test",
         [&] { Fail(L"SELECT name FROM master.dbo.sysdatabases", DB_E_ERRORSINCOMMAND); },
         [] { return KeeplibExistsDatabase(60, L"SQL01", L"KorvoQuar", 30, 0, nullptr, nullptr); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: hrExists hr=0x80040E14", "ERR: COM error: 0x80040E14 ('Unknown error 0x80040E14')",
          "INF: + Leaving Function : Keeplibs::KeeplibExistsDatabase()",
          "INF: + Leaving Function : KeeplibExistsDatabase()"}},
    });
}

TEST_F(FailedStepTest, ServerChecksTraceEachFailedStepAndEndWithItsCode)
{
    const std::string kFile = "ServerChecks.cpp    ";
    Check({
        {"instance check: connection",
         [&] { FailOpen(L"Data Source=SQL01", E_FAIL); },
         [] { return KeeplibSQLServerCheck(60, L"SQL01", 30, 0, nullptr, nullptr); },
         E_FAIL,
         kFile,
         {"ERR: Connect(master) failed with hr=(0x80004005).",
          "INF: + Leaving Function : Keeplibs::KeeplibSQLServerCheck()", "ERR: hrSQLServerCheck hr=0x80004005",
          "ERR: COM error: 0x80004005 ('Unspecified error')", "INF: Returing, hrResult=0x80004005",
          "INF: + Leaving Function : KeeplibSQLServerCheck()"}},
        {"role check: connection",
         [&] { FailOpen(L"Data Source=SQL01", E_FAIL); },
         [] { return KeeplibSQLServerCheckSvrRole(60, L"SQL01", 30, 0, nullptr, nullptr, L"sysadmin"); },
         E_FAIL,
         kFile,
         {"ERR: UTIL::DBConnectionHelper::Connect(wstrServer.c_str(), L\"master\", ptrConnection, "
          "lConnectionTimeout, lAuthType, pstrAuthUser, pstrAuthPassword) hr=0x80004005",
          "ERR: COM error: 0x80004005 ('Unspecified error')", "INF: Returing, hrResult=0x80004005",
          "INF: + Leaving Function : Keeplibs::KeeplibSQLServerCheckSvrRole()", "INF: hrResult=0x80004005",
          "ERR: hrResult hr=0x80004005", "ERR: COM error: 0x80004005 ('Unspecified error')",
          "INF: Returing, hrResult=0x80004005", "INF: + Leaving Function : KeeplibSQLServerCheckSvrRole()"}},
        {"role check: query",
         [&] { Fail(L"SELECT IS_SRVROLEMEMBER(", DB_E_ERRORSINCOMMAND); },
         [] { return KeeplibSQLServerCheckSvrRole(60, L"SQL01", 30, 0, nullptr, nullptr, L"sysadmin"); },
         DB_E_ERRORSINCOMMAND,
         kFile,
         {"ERR: hrResult hr=0x80040E14", "INF: + Leaving Function : Keeplibs::KeeplibSQLServerCheckSvrRole()",
          "INF: hrResult=0x80040E14", "ERR: hrResult hr=0x80040E14",
          "ERR: COM error: 0x80040E14 ('Unknown error 0x80040E14')", "INF: Returing, hrResult=0x80040E14",
          "INF: + Leaving Function : KeeplibSQLServerCheckSvrRole()"}},
    });
}
