#include "database/CmdRunSQL.h"
#include "FakeServer.h"
#include "common/ComError.h"
#include "database/DBConnectionHelper.h"

#include <sstream>

using UTIL::ADO::CCmdRunSQL;

class CmdRunSQLTest : public FakeServerTest
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(UTIL::DBConnectionHelper::Connect(L"S", L"master", m_pCnx, 30, 0, L"", L""), S_OK);
    }

    // The messages traced from the command's own lines on, without entries and exits.
    std::vector<std::string> RunLines() const
    {
        std::vector<std::string> lines;
        bool bStarted = false;
        for (const std::string& strLine : TracedMessages()) {
            bStarted = bStarted || strLine.starts_with("INF: bAsTransaction=");
            if (bStarted && strLine.find("Function : ") == std::string::npos)
                lines.push_back(strLine);
        }
        return lines;
    }

    HRESULT RunFailing(bool bAsTransaction)
    {
        Fail(L"INSERT", DB_E_ERRORSINCOMMAND);
        try {
            CCmdRunSQL(45, m_pCnx, L"INSERT INTO t VALUES (1)", false).Run(bAsTransaction);
        } catch (const UTIL::COM::_com_error& e) {
            return e.Error();
        }
        return S_OK;
    }

    platform::ado::ConnectionPtr m_pCnx;
};

TEST_F(CmdRunSQLTest, FailingStatementInATransactionIsRolledBackAndRethrown)
{
    EXPECT_EQ(RunFailing(true), DB_E_ERRORSINCOMMAND);
    EXPECT_EQ(RunLines(), (std::vector<std::string>{
                              "INF: bAsTransaction=1",
                              "INF: Begin a transaction",
                              "INF: Exceute the command",
                              "ERR: COM error: 0x80040E14",
                              "INF: lErrorCount = 1",
                              "INF: lErrorIndex = 0",
                              "INF: bstrDescription = 'The server said no.'",
                              "INF: bstrSource = 'Microsoft OLE DB Provider for SQL Server'",
                              "INF: lErrorNumber = 0x00000C81",
                              "INF: Rollback the transaction",
                              "INF: Rethrow the original exception",
                          }));
    const auto log = Log();
    EXPECT_EQ(std::vector<std::wstring>(log.begin() + 1, log.end()),
              (std::vector<std::wstring>{L"BeginTrans", L"Execute Text no records timeout=45: INSERT INTO t VALUES (1)",
                                         L"RollbackTrans"}));
}

TEST_F(CmdRunSQLTest, WithoutATransactionThereIsNoRollback)
{
    EXPECT_EQ(RunFailing(false), DB_E_ERRORSINCOMMAND);
    const auto lines = RunLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "INF: Rollback the transaction"), 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "INF: Begin a transaction"), 0);
    EXPECT_EQ(Log().size(), 2u);
}

TEST_F(CmdRunSQLTest, SuccessfulTransactionIsCommitted)
{
    CCmdRunSQL(60, m_pCnx, L"UPDATE t SET a = 1", false).Run(true);
    EXPECT_EQ(RunLines().back(), "INF: Commit the transaction");
    EXPECT_EQ(Log().back(), L"CommitTrans");
}

TEST_F(CmdRunSQLTest, ProcedureParametersAreSentInOrderAndReadBack)
{
    FakeReply reply;
    reply.outputs = {Variant::Int32(0), Variant::Int32(1), Variant::Int32(3), Variant::Date({2010, 1, 2, 3, 4, 5})};
    Answer(L"[dbo].[SPRprtVersion]", reply);
    CCmdRunSQL command(60, m_pCnx, L"[dbo].[SPRprtVersion]", true);
    const auto pReturn = command.AddReturnValue();
    const auto pMajor = command.AddOutputParameter(L"@Major_out", platform::ado::DataType::Integer, 0);
    command.AddOutputParameter(L"@Minor_out", platform::ado::DataType::Integer, 0);
    const auto pBuild = command.AddOutputParameter(L"@Build_out", platform::ado::DataType::DBTimeStamp, 0);
    command.Run(false);
    EXPECT_EQ(pReturn->value, Variant::Int32(0));
    EXPECT_EQ(pMajor->value, Variant::Int32(1));
    EXPECT_EQ(pBuild->value.ChangeTypeToString()->StringValue(), L"2010-01-02 03:04:05");
    EXPECT_EQ(Log().back(), L"Execute StoredProcedure no records timeout=60: [dbo].[SPRprtVersion]\n"
                            L"  param @RETURN_VALUE return integer 0\n"
                            L"  param @Major_out output integer 0\n"
                            L"  param @Minor_out output integer 0\n"
                            L"  param @Build_out output timestamp 0");
}

TEST_F(CmdRunSQLTest, NullTextIsEmptyAndQuotesAreDoubled)
{
    CCmdRunSQL(60, m_pCnx, nullptr, false).Run(false);
    EXPECT_EQ(Log().back(), L"Execute Text no records timeout=60: ");
    std::wostringstream out;
    CCmdRunSQL::QuoteString(out, L"DOMAIN\\o'neil''s");
    CCmdRunSQL::QuoteString(out, nullptr);
    EXPECT_EQ(out.str(), L"DOMAIN\\o''neil''''s");
}

TEST_F(CmdRunSQLTest, FailingRecordsetTracesTheErrorsAndRethrowsTheStatementsCode)
{
    Fail(L"SELECT", DB_E_ERRORSINCOMMAND);
    try {
        CCmdRunSQL(60, m_pCnx, L"SELECT name FROM t", false).OpenRecordset();
        ADD_FAILURE() << "no exception";
    } catch (const UTIL::COM::_com_error& e) {
        EXPECT_EQ(e.Error(), DB_E_ERRORSINCOMMAND);
    }
    std::vector<std::string> messages;
    for (const std::string& strMessage : TracedMessages())
        if (strMessage.find("Function : ") == std::string::npos)
            messages.push_back(strMessage);
    const std::vector<std::string> expected{"ERR: COM error: 0x80040E14",
                                            "INF: lErrorCount = 1",
                                            "INF: lErrorIndex = 0",
                                            "INF: bstrDescription = 'The server said no.'",
                                            "INF: bstrSource = 'Microsoft OLE DB Provider for SQL Server'",
                                            "INF: lErrorNumber = 0x00000C81"};
    EXPECT_NE(std::search(messages.begin(), messages.end(), expected.begin(), expected.end()), messages.end());
    EXPECT_EQ(Log().back(), L"Execute Text records timeout=60: SELECT name FROM t");
}
