// The ODBC machinery against a real driver: SQLite's, on a database file in a scratch folder.

#include "OdbcSqliteFixture.h"
#include "platform/ado/odbc/OdbcProvider.h"

#include "common/ComError.h"
#include "common/StringUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;
using namespace platform::ado;
using platform::ado::odbc::OdbcConnection;
using platform::ado::odbc::tests::OdbcSqlite;

namespace {

// Points the machine's registry at a file of the test's for the life of the object.
class ScopedRegistryFile
{
public:
    explicit ScopedRegistryFile(const std::filesystem::path& path)
    {
        ::setenv("VESTREL_REGISTRY_FILE", path.c_str(), 1);
    }
    ~ScopedRegistryFile() { ::unsetenv("VESTREL_REGISTRY_FILE"); }
    ScopedRegistryFile(const ScopedRegistryFile&) = delete;
    ScopedRegistryFile& operator=(const ScopedRegistryFile&) = delete;
};

TEST_F(OdbcSqlite, ReadsAResultSetWithTypedValues)
{
    const auto pConnection = OpenConnection();
    EXPECT_EQ(
        Run(pConnection,
            L"CREATE TABLE t (id INTEGER, small SMALLINT, big BIGINT, name VARCHAR(40), born TIMESTAMP, ratio DOUBLE)"),
        nullptr);
    // The statement text stays ASCII: this driver has no wide entry points, and the driver
    // manager narrows the text of wide calls by dropping the high byte of every unit. SQLite's
    // char() stores the name as UTF-8, which the driver widens correctly when it is read.
    EXPECT_EQ(Run(pConnection,
                  L"INSERT INTO t VALUES (1, -7, 9000000000, char(71, 114, 252, 223, 101, 32, 8364, 119070), "
                  L"'2009-09-18 09:05:07', 0.5)"),
              nullptr);
    Run(pConnection, L"INSERT INTO t VALUES (2, NULL, NULL, NULL, NULL, NULL)");
    Run(pConnection, L"INSERT INTO t VALUES (3, 32767, -1, '', '1999-12-31 23:59:59', 2)");

    const RecordsetPtr pRecordset = Run(pConnection, L"SELECT id, small, big, name, born, ratio FROM t ORDER BY id");
    ASSERT_NE(pRecordset, nullptr);
    EXPECT_EQ(pRecordset->RecordCount(), 3);
    EXPECT_EQ(pRecordset->FieldNames(),
              (std::vector<std::wstring>{L"id", L"small", L"big", L"name", L"born", L"ratio"}));
    const std::vector<std::vector<Variant>> expected = {
        {Variant::Int32(1), Variant::Int16(-7), Variant::Int64(9000000000),
         Variant::String(L"Gr\u00fc\u00dfe \u20ac\U0001D11E"), Variant::Date({2009, 9, 18, 9, 5, 7}),
         Variant::Double(0.5)},
        {Variant::Int32(2), Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null()},
        {Variant::Int32(3), Variant::Int16(32767), Variant::Int64(-1), Variant::String(L""),
         Variant::Date({1999, 12, 31, 23, 59, 59}), Variant::Double(2)},
    };
    ASSERT_EQ(pRecordset->Rows().size(), expected.size());
    for (std::size_t iRow = 0; iRow < expected.size(); ++iRow) {
        for (std::size_t iField = 0; iField < expected[iRow].size(); ++iField) {
            SCOPED_TRACE("row " + std::to_string(iRow) + " field " + std::to_string(iField));
            EXPECT_EQ(WideToNarrow(pRecordset->Rows()[iRow][iField].Describe()),
                      WideToNarrow(expected[iRow][iField].Describe()));
            EXPECT_EQ(pRecordset->Rows()[iRow][iField].Type(), expected[iRow][iField].Type());
        }
    }
    EXPECT_EQ(pRecordset->FieldValue(L"big"), Variant::Int64(9000000000));
}

TEST_F(OdbcSqlite, ReadsLongTextWhole)
{
    // Longer than the piece the provider reads at a time (2047 UTF-16 units), with a character
    // outside the BMP whose two halves fall into the first and the second piece.
    const std::wstring strHead(2046, L'a');
    const std::wstring strTail(3000, L'b');
    const std::wstring strLong = strHead + L"\U0001F600" + strTail + L"\U0001F600";
    const auto pConnection = OpenConnection();
    Run(pConnection, L"CREATE TABLE t (id INTEGER, body TEXT)");
    Run(pConnection,
        L"INSERT INTO t VALUES (1, '" + strHead + L"' || char(128512) || '" + strTail + L"' || char(128512))");
    const RecordsetPtr pRecordset = Run(pConnection, L"SELECT body FROM t");
    ASSERT_NE(pRecordset, nullptr);
    const std::optional<Variant> body = pRecordset->FieldValue(L"body");
    ASSERT_TRUE(body.has_value());
    ASSERT_EQ(body->Type(), VT_BSTR);
    EXPECT_EQ(body->StringValue().size(), strLong.size());
    EXPECT_TRUE(body->StringValue() == strLong);
}

TEST_F(OdbcSqlite, StatementsWithoutRowsGiveNoRecordset)
{
    const auto pConnection = OpenConnection();
    EXPECT_EQ(Run(pConnection, L"CREATE TABLE t (id INTEGER)"), nullptr);
    EXPECT_EQ(Run(pConnection, L"INSERT INTO t VALUES (1)"), nullptr);
    // A searched update that touches nothing answers SQL_NO_DATA: still a success.
    EXPECT_EQ(Run(pConnection, L"UPDATE t SET id = 2 WHERE id = 99"), nullptr);
    EXPECT_EQ(Run(pConnection, L"DELETE FROM t WHERE id = 99"), nullptr);
    // With bNoRecords a query runs and its rows are dropped.
    EXPECT_EQ(Run(pConnection, L"SELECT id FROM t", true), nullptr);

    const RecordsetPtr pEmpty = Run(pConnection, L"SELECT id FROM t WHERE id > 1");
    ASSERT_NE(pEmpty, nullptr);
    EXPECT_EQ(pEmpty->RecordCount(), 0);
    EXPECT_TRUE(pEmpty->HasField(L"id"));
    EXPECT_FALSE(pEmpty->FieldValue(L"id").has_value());
}

TEST_F(OdbcSqlite, CommitsAndRollsBackTransactions)
{
    const auto pConnection = OpenConnection();
    Run(pConnection, L"CREATE TABLE t (id INTEGER)");

    pConnection->BeginTrans();
    Run(pConnection, L"INSERT INTO t VALUES (1)");
    Run(pConnection, L"INSERT INTO t VALUES (2)");
    pConnection->CommitTrans();

    pConnection->BeginTrans();
    Run(pConnection, L"INSERT INTO t VALUES (3)");
    EXPECT_EQ(CountRows(pConnection, L"t"), 3); // the transaction sees its own row
    pConnection->RollbackTrans();

    // Autocommit is back on: this row is committed without a transaction.
    Run(pConnection, L"INSERT INTO t VALUES (4)");

    // Another connection sees what was committed, and only that.
    const auto pOther = OpenConnection();
    const RecordsetPtr pRows = Run(pOther, L"SELECT id FROM t ORDER BY id");
    ASSERT_NE(pRows, nullptr);
    ASSERT_EQ(pRows->RecordCount(), 3);
    EXPECT_EQ(pRows->Rows()[0][0], Variant::Int32(1));
    EXPECT_EQ(pRows->Rows()[1][0], Variant::Int32(2));
    EXPECT_EQ(pRows->Rows()[2][0], Variant::Int32(4));
}

TEST_F(OdbcSqlite, ClosingRollsBackAnOpenTransaction)
{
    const auto pConnection = OpenConnection();
    Run(pConnection, L"CREATE TABLE t (id INTEGER)");
    pConnection->BeginTrans();
    Run(pConnection, L"INSERT INTO t VALUES (1)");
    pConnection->Close();
    EXPECT_EQ(CountRows(OpenConnection(), L"t"), 0);
}

TEST_F(OdbcSqlite, AFailingStatementFillsTheErrorsAndThrowsErrorsInCommand)
{
    const auto pConnection = OpenConnection();
    EXPECT_EQ(HResultBits(RunFailure(pConnection, L"SELEC 1")), HResultBits(::DB_E_ERRORSINCOMMAND));
    std::vector<Error> errors = pConnection->Errors();
    ASSERT_FALSE(errors.empty());
    const std::string strSource = WideToNarrow(errors[0].strSource);
    EXPECT_EQ(strSource.substr(0, 9), "[HY000] [") << strSource;
    EXPECT_NE(WideToNarrow(errors[0].strDescription).find("syntax error"), std::string::npos)
        << WideToNarrow(errors[0].strDescription);
    EXPECT_NE(errors[0].lNumber, 0);

    EXPECT_EQ(HResultBits(RunFailure(pConnection, L"INSERT INTO missing VALUES (1)")),
              HResultBits(::DB_E_ERRORSINCOMMAND));
    errors = pConnection->Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(WideToNarrow(errors[0].strDescription).find("missing"), std::string::npos)
        << WideToNarrow(errors[0].strDescription);

    // The connection is still usable, and a success leaves the last failure's errors in place.
    EXPECT_EQ(Run(pConnection, L"CREATE TABLE t (id INTEGER)"), nullptr);
    EXPECT_EQ(pConnection->Errors().size(), errors.size());
}

TEST_F(OdbcSqlite, AFailingStatementInATransactionCanBeRolledBack)
{
    const auto pConnection = OpenConnection();
    Run(pConnection, L"CREATE TABLE t (id INTEGER PRIMARY KEY)");
    pConnection->BeginTrans();
    Run(pConnection, L"INSERT INTO t VALUES (1)");
    EXPECT_EQ(HResultBits(RunFailure(pConnection, L"INSERT INTO t VALUES (1)")), HResultBits(::DB_E_ERRORSINCOMMAND));
    pConnection->RollbackTrans();
    EXPECT_EQ(CountRows(pConnection, L"t"), 0);
}

TEST_F(OdbcSqlite, CallsOnAClosedConnectionAreObjectClosed)
{
    const auto pConnection = std::make_shared<OdbcConnection>();
    Command command;
    command.activeConnection = pConnection;
    command.strCommandText = L"SELECT 1";
    EXPECT_EQ(HResultBits(Failure([&] { command.Execute(false); })), HResultBits(ADO_E_OBJECT_CLOSED));
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->BeginTrans(); })), HResultBits(ADO_E_OBJECT_CLOSED));
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->CommitTrans(); })), HResultBits(ADO_E_OBJECT_CLOSED));
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->RollbackTrans(); })), HResultBits(ADO_E_OBJECT_CLOSED));
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->Close(); })), HResultBits(ADO_E_OBJECT_CLOSED));

    pConnection->OpenOdbc(OdbcString(), 5);
    EXPECT_NE(command.Execute(false), nullptr);
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->OpenOdbc(OdbcString(), 5); })),
              HResultBits(odbc::ADO_E_OBJECT_OPEN));
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->CommitTrans(); })), HResultBits(odbc::XACT_E_NOTRANSACTION));
    pConnection->BeginTrans();
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->BeginTrans(); })), HResultBits(odbc::XACT_E_XTIONEXISTS));
    pConnection->Close();
    EXPECT_EQ(HResultBits(Failure([&] { command.Execute(false); })), HResultBits(ADO_E_OBJECT_CLOSED));
}

TEST_F(OdbcSqlite, OpensWithTheDriverNamedInTheRegistry)
{
    // The provider's own connection, opened with a connection's settings: the registry names the
    // SQLite driver, and the initial catalog becomes the database file.
    const std::filesystem::path registryFile =
        m_scratch.Write("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Keeplib\\ODBC]\r\n"
                                        "\"Driver\"=\"SQLite3\"\r\n");
    const ScopedRegistryFile registry(registryFile);
    const ConnectionPtr pConnection = MakeOdbcProvider()->CreateConnection();
    ConnectionProperties properties;
    properties.strDataSource = L"S";
    properties.lConnectTimeout = 5;
    properties.strInitialCatalog = NarrowToWide((m_scratch.Path() / "t.db").string());
    pConnection->Open(properties);
    Run(pConnection, L"CREATE TABLE t (id INTEGER)");
    Run(pConnection, L"INSERT INTO t VALUES (42)");
    pConnection->Close();

    const RecordsetPtr pRows = Run(OpenConnection(), L"SELECT id FROM t");
    ASSERT_NE(pRows, nullptr);
    EXPECT_EQ(pRows->FieldValue(L"id"), Variant::Int32(42));
}

TEST_F(OdbcSqlite, AnUnknownDriverFailsWithTheDriverManagersRecord)
{
    const auto pConnection = std::make_shared<OdbcConnection>();
    // Refused at once: the login timeout is a hang guard that no loaded machine reaches first, or
    // the timeout's record would come first.
    EXPECT_EQ(HResultBits(Failure([&] { pConnection->OpenOdbc(L"DRIVER={No Such Driver};Database=x", 60); })),
              HResultBits(E_FAIL));
    const std::vector<Error> errors = pConnection->Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(WideToNarrow(errors[0].strSource).find("[Driver Manager]"), std::string::npos)
        << WideToNarrow(errors[0].strSource);
    EXPECT_NE(WideToNarrow(errors[0].strDescription).find("No Such Driver"), std::string::npos)
        << WideToNarrow(errors[0].strDescription);
    EXPECT_FALSE(pConnection->IsOpen());
}

} // namespace
