// Bound parameters and prepared commands against SQLite's ODBC driver: every type as it goes in
// and comes back, a prepared command run many times, what is refused, and a deadline during a
// prepared execution.

#include "OdbcSqliteFixture.h"

#include <cstdint>
#include <limits>

using namespace platform;
using namespace platform::ado;
using platform::ado::odbc::tests::OdbcSqlite;

namespace {

ParameterPtr Input(DataType type, Variant value, std::wstring strName = L"", std::int32_t lSize = 0)
{
    return std::make_shared<Parameter>(
        Parameter{std::move(strName), type, ParameterDirection::Input, lSize, std::move(value)});
}

Command MakeCommand(const ConnectionPtr& pConnection, std::wstring strText, std::vector<ParameterPtr> parameters,
                    bool bPrepared)
{
    Command command;
    command.activeConnection = pConnection;
    command.strCommandText = std::move(strText);
    command.parameters = std::move(parameters);
    command.bPrepared = bPrepared;
    return command;
}

std::vector<std::uint8_t> CountingBytes(std::size_t cb)
{
    std::vector<std::uint8_t> bytes(cb);
    for (std::size_t i = 0; i < cb; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    return bytes;
}

struct RoundTrip
{
    const char* szName;
    const wchar_t* wszColumn; // the column's declared type, which decides what the driver reads back
    DataType type;
    Variant value;
    const wchar_t* wszStoredAs; // SQLite's typeof()
};

TEST_F(OdbcSqlite, EveryTypeRoundTripsExactly)
{
    const std::vector<std::uint8_t> binary{0x00, 0x27, 0x00, 0xFF, 0x22, 0x3B, 0x00};
    const std::vector<RoundTrip> cases = {
        {"smallest integer", L"INTEGER", DataType::Integer, Variant::Int32(std::numeric_limits<std::int32_t>::min()),
         L"integer"},
        {"largest integer", L"INTEGER", DataType::Integer, Variant::Int32(std::numeric_limits<std::int32_t>::max()),
         L"integer"},
        {"zero", L"INTEGER", DataType::Integer, Variant::Int32(0), L"integer"},
        {"smallest big integer", L"BIGINT", DataType::BigInt, Variant::Int64(std::numeric_limits<std::int64_t>::min()),
         L"integer"},
        {"largest big integer", L"BIGINT", DataType::BigInt, Variant::Int64(std::numeric_limits<std::int64_t>::max()),
         L"integer"},
        {"empty text", L"TEXT", DataType::VarWChar, Variant::String(L""), L"text"},
        {"quotes and a statement's end", L"TEXT", DataType::VarWChar,
         Variant::String(L"it's \"quoted\"'); DROP TABLE v; --"), L"text"},
        {"text beyond ASCII", L"TEXT", DataType::VarWChar,
         Variant::String(L"Gr\u00fc\u00dfe \u20ac \u4e2d\u6587 \U0001D11E\U0001F600"), L"text"},
        {"line breaks and tabs", L"TEXT", DataType::VarWChar, Variant::String(L"a\r\nb\tc\n"), L"text"},
        {"text longer than nvarchar(4000)", L"TEXT", DataType::VarWChar,
         Variant::String(std::wstring(6000, L'\u00e9') + L"\U0001F600"), L"text"},
        {"no bytes", L"BLOB", DataType::VarBinary, Variant::Bytes({}), L"blob"},
        {"NUL bytes and quotes", L"BLOB", DataType::VarBinary, Variant::Bytes(binary), L"blob"},
        {"bytes longer than varbinary(8000)", L"BLOB", DataType::VarBinary, Variant::Bytes(CountingBytes(20000)),
         L"blob"},
        {"a date and time", L"TIMESTAMP", DataType::DBTimeStamp, Variant::Date({2009, 9, 18, 9, 5, 7}), L"text"},
        {"null integer", L"INTEGER", DataType::Integer, Variant::Null(), L"null"},
        {"null big integer", L"BIGINT", DataType::BigInt, Variant::Null(), L"null"},
        {"null text", L"TEXT", DataType::VarWChar, Variant::Null(), L"null"},
        {"null bytes", L"BLOB", DataType::VarBinary, Variant::Null(), L"null"},
        {"null date", L"TIMESTAMP", DataType::DBTimeStamp, Variant::Null(), L"null"},
    };
    const auto pConnection = OpenConnection();
    for (const bool bPrepared : {false, true}) {
        for (const RoundTrip& c : cases) {
            SCOPED_TRACE(std::string(c.szName) + (bPrepared ? ", prepared" : ", direct"));
            Run(pConnection, L"DROP TABLE IF EXISTS v");
            Run(pConnection, std::wstring(L"CREATE TABLE v (value ") + c.wszColumn + L")");
            Command insert = MakeCommand(pConnection, L"INSERT INTO v VALUES (?)", {Input(c.type, c.value)}, bPrepared);
            EXPECT_EQ(insert.Execute(true), nullptr);

            const RecordsetPtr pRows = Run(pConnection, L"SELECT value, typeof(value) AS stored FROM v");
            ASSERT_NE(pRows, nullptr);
            ASSERT_EQ(pRows->RecordCount(), 1);
            const Variant read = pRows->FieldValue(L"value").value_or(Variant());
            EXPECT_EQ(read.Type(), c.value.Type());
            EXPECT_TRUE(read == c.value) << WideToNarrow(read.Describe().substr(0, 200));
            EXPECT_EQ(pRows->FieldValue(L"stored"), Variant::String(c.wszStoredAs));

            // The database compares the bound value with the stored one as equal (NULL never is).
            Command find = MakeCommand(pConnection, L"SELECT count(*) AS n FROM v WHERE value IS ?",
                                       {Input(c.type, c.value)}, bPrepared);
            const RecordsetPtr pFound = find.Execute(false);
            ASSERT_NE(pFound, nullptr);
            EXPECT_EQ(pFound->FieldValue(L"n"), Variant::Int32(1));
        }
    }
}

TEST_F(OdbcSqlite, APreparedCommandRunsManyTimesWithNewValues)
{
    const auto pConnection = OpenConnection();
    Run(pConnection, L"CREATE TABLE t (id BIGINT, name TEXT, body BLOB)");
    const ParameterPtr pId = Input(DataType::BigInt, Variant::Int64(0));
    const ParameterPtr pName = Input(DataType::VarWChar, Variant::String(L""));
    const ParameterPtr pBody = Input(DataType::VarBinary, Variant::Bytes({}));
    Command insert = MakeCommand(pConnection, L"INSERT INTO t VALUES (?, ?, ?)", {pId, pName, pBody}, true);

    constexpr int kRows = 500;
    pConnection->BeginTrans();
    const PreparedStatement* pFirst = nullptr;
    for (int i = 0; i < kRows; ++i) {
        pId->value = Variant::Int64(std::int64_t{i} << 33);
        // Every other name empty, every third body NULL: values that change length and kind.
        pName->value = Variant::String(i % 2 ? L"n\u00e9'" + std::to_wstring(i) : L"");
        pBody->value = i % 3 ? Variant::Bytes(CountingBytes(static_cast<std::size_t>(i))) : Variant::Null();
        insert.Execute(true);
        if (i == 0)
            pFirst = insert.pPreparedStatement.get();
        ASSERT_EQ(insert.pPreparedStatement.get(), pFirst) << "prepared again at execution " << i;
    }
    pConnection->CommitTrans();
    ASSERT_NE(pFirst, nullptr);

    const RecordsetPtr pRows = Run(pConnection, L"SELECT id, name, body FROM t ORDER BY id");
    ASSERT_NE(pRows, nullptr);
    ASSERT_EQ(pRows->RecordCount(), kRows);
    for (int i = 0; i < kRows; ++i) {
        SCOPED_TRACE(i);
        const std::vector<Variant>& row = pRows->Rows()[static_cast<std::size_t>(i)];
        EXPECT_EQ(row[0], Variant::Int64(std::int64_t{i} << 33));
        EXPECT_EQ(row[1], Variant::String(i % 2 ? L"n\u00e9'" + std::to_wstring(i) : L""));
        EXPECT_EQ(row[2], i % 3 ? Variant::Bytes(CountingBytes(static_cast<std::size_t>(i))) : Variant::Null());
    }

    // Other text is prepared anew; so is the same text once the connection was closed, which
    // freed the statement, and opened again.
    insert.strCommandText = L"INSERT INTO t (id, name, body) VALUES (?, ?, ?)";
    insert.Execute(true);
    EXPECT_NE(insert.pPreparedStatement.get(), pFirst);
    pConnection->Close();
    EXPECT_EQ(HResultBits(Failure([&] { insert.Execute(true); })), HResultBits(ADO_E_OBJECT_CLOSED));
    pConnection->OpenOdbc(OdbcString(), 5);
    insert.Execute(true);
    EXPECT_EQ(CountRows(pConnection, L"t"), kRows + 2);
}

struct Refusal
{
    const char* szName;
    const wchar_t* wszText;
    std::vector<ParameterPtr> parameters;
    bool bPrepared;
    HRESULT hr;
    const char* szDescription; // the whole of it, or (for the driver's) a part
};

TEST_F(OdbcSqlite, ParametersThatDoNotFitAreRefusedClearly)
{
    const wchar_t* const wszInsert = L"INSERT INTO t VALUES (?, ?)";
    const auto Id = [](Variant value) { return Input(DataType::Integer, std::move(value), L"@id"); };
    const auto Name = [](Variant value) { return Input(DataType::VarWChar, std::move(value), L"@name", 4); };
    const std::vector<Refusal> cases = {
        {"a marker without a parameter",
         wszInsert,
         {Id(Variant::Int32(1))},
         true,
         platform::ado::DB_E_ERRORSINCOMMAND,
         "The statement has 2 parameter markers, the command 1 parameters."},
        {"a parameter without a marker",
         wszInsert,
         {Id(Variant::Int32(1)), Name(Variant::String(L"a")), Id(Variant::Int32(2))},
         true,
         platform::ado::DB_E_ERRORSINCOMMAND,
         "The statement has 2 parameter markers, the command 3 parameters."},
        {"a marker without a parameter, run directly",
         wszInsert,
         {Id(Variant::Int32(1))},
         false,
         platform::ado::DB_E_ERRORSINCOMMAND,
         "unbound parameters"},
        {"text for an integer",
         wszInsert,
         {Id(Variant::String(L"1")), Name(Variant::String(L"a"))},
         true,
         DB_E_ERRORSOCCURRED,
         "Parameter 1 (@id) of type adInteger cannot take a value of type VT_BSTR."},
        {"a 64-bit integer for a 32-bit one",
         wszInsert,
         {Id(Variant::Int64(1)), Name(Variant::String(L"a"))},
         false,
         DB_E_ERRORSOCCURRED,
         "Parameter 1 (@id) of type adInteger cannot take a value of type VT_I8."},
        {"a number for text",
         wszInsert,
         {Id(Variant::Int32(1)), Name(Variant::Int32(7))},
         true,
         DB_E_ERRORSOCCURRED,
         "Parameter 2 (@name) of type adVarWChar cannot take a value of type VT_I4."},
        {"text for bytes",
         L"INSERT INTO t VALUES (?)",
         {Input(DataType::VarBinary, Variant::String(L"x"))},
         true,
         DB_E_ERRORSOCCURRED,
         "Parameter 1 of type adVarBinary cannot take a value of type VT_BSTR."},
        {"no value at all",
         wszInsert,
         {Id(Variant()), Name(Variant::String(L"a"))},
         false,
         DB_E_ERRORSOCCURRED,
         "Parameter 1 (@id) of type adInteger cannot take a value of type VT_EMPTY."},
        {"text longer than its size",
         wszInsert,
         {Id(Variant::Int32(1)), Name(Variant::String(L"abcde"))},
         true,
         DB_E_ERRORSOCCURRED,
         "Parameter 2 (@name) holds 5 units, more than its size of 4."},
        {"text as an output",
         L"SELECT ?",
         {std::make_shared<Parameter>(
             Parameter{L"@out", DataType::VarWChar, ParameterDirection::Output, 10, Variant::Null()})},
         false,
         DB_E_ERRORSOCCURRED,
         "Parameter 1 (@out) of type adVarWChar can only be an input."},
    };
    const auto pConnection = OpenConnection();
    Run(pConnection, L"CREATE TABLE t (id INTEGER, name TEXT)");
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.szName);
        Command command = MakeCommand(pConnection, c.wszText, c.parameters, c.bPrepared);
        EXPECT_EQ(HResultBits(Failure([&] { command.Execute(true); })), HResultBits(c.hr));
        const std::vector<Error> errors = pConnection->Errors();
        ASSERT_FALSE(errors.empty());
        const std::string strDescription = WideToNarrow(errors.front().strDescription);
        if (c.hr == DB_E_ERRORSOCCURRED || c.bPrepared)
            EXPECT_EQ(strDescription, c.szDescription);
        else
            EXPECT_NE(strDescription.find(c.szDescription), std::string::npos) << strDescription;
    }
    // Nothing reached the table, and the connection still works.
    EXPECT_EQ(CountRows(pConnection, L"t"), 0);
    Command insert = MakeCommand(pConnection, wszInsert, {Id(Variant::Int32(1)), Name(Variant::String(L"abcd"))}, true);
    insert.Execute(true);
    EXPECT_EQ(CountRows(pConnection, L"t"), 1);
}

TEST_F(OdbcSqlite, APreparedExecutionEndsAtItsDeadlineAndTheStatementRunsAgain)
{
    const auto pConnection = OpenConnection();
    const ParameterPtr pLimit = Input(DataType::BigInt, Variant::Int64(std::numeric_limits<std::int64_t>::max()));
    // Counting to the parameter: with the largest one the statement runs until it is cancelled.
    Command count = MakeCommand(pConnection,
                                L"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < ?) "
                                L"SELECT count(*) AS n FROM c",
                                {pLimit}, true);
    count.SetCommandTimeout(1);
    EXPECT_EQ(HResultBits(Failure([&] { count.Execute(false); })), HResultBits(DB_E_ABORTLIMITREACHED));
    const std::vector<Error> errors = pConnection->Errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(WideToNarrow(errors.front().strSource).substr(0, 7), "[HYT00]");
    EXPECT_EQ(WideToNarrow(errors.front().strDescription), "Timeout expired");

    // The interrupted statement is kept and runs again with a new value.
    const PreparedStatement* pStatement = count.pPreparedStatement.get();
    pLimit->value = Variant::Int64(1000);
    const RecordsetPtr pRows = count.Execute(false);
    ASSERT_NE(pRows, nullptr);
    EXPECT_EQ(pRows->FieldValue(L"n"), Variant::Int32(1000));
    EXPECT_EQ(count.pPreparedStatement.get(), pStatement);
}

} // namespace
