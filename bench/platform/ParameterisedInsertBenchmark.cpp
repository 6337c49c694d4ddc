// Inserting many rows into SQLite through the ODBC layer, the substitute service's kind of row:
// a prepared command with bound parameters, the same command run directly, and a statement text
// that carries every text as a hexadecimal literal of its UTF-8 bytes (which no value can break
// out of) built for each row. 1,000 rows per transaction, so that the statements are measured
// rather than the commits.

#include "common/StringUtils.h"
#include "platform/ado/odbc/OdbcProvider.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using platform::Variant;
using namespace platform::ado;

constexpr int kRowsPerTransaction = 1000;

struct Row
{
    std::wstring strFileName, strNetworkName, strHedLine, strHeaderLines;
    std::int32_t lRunId, lHeaderLineCount;
    std::int64_t llContentLength;
};

Row MakeRow(std::int64_t i)
{
    return {L"Q" + std::to_wstring(i) + L".tmp",
            L"N\u00d6DE-07",
            L"HED0001",
            L"From: someone@example.org\r\nSubject: a message \u00e9 it's\r\nX-Scan: 3",
            1,
            3,
            2048 + i};
}

// Every text as CAST(X'<UTF-8 bytes in hexadecimal>' AS TEXT).
std::wstring HexText(const std::wstring& strText)
{
    std::wstring strLiteral = L"CAST(X'";
    for (const unsigned char b : WideToNarrow(strText))
        strLiteral += FormatW(L"%02X", b);
    return strLiteral + L"' AS TEXT)";
}

class CDatabase
{
public:
    CDatabase()
        : m_file(std::filesystem::temp_directory_path() /
                 ("vestrel-insert-bench-" + std::to_string(::getpid()) + ".db"))
    {
        std::filesystem::remove(m_file);
        m_pConnection = OpenOdbcConnection(L"DRIVER=SQLite3;Database=" + NarrowToWide(m_file.string()), 5);
        for (const wchar_t* wszStatement :
             {L"PRAGMA journal_mode=WAL", L"PRAGMA synchronous=NORMAL",
              L"CREATE TABLE Items (ItemId INTEGER PRIMARY KEY, FileName TEXT NOT NULL UNIQUE, NetworkName TEXT, "
              L"RunId INTEGER, HedLine TEXT, HeaderLineCount INTEGER, HeaderLines TEXT, ContentLength BIGINT)"})
            Run(wszStatement);
    }
    ~CDatabase()
    {
        m_pConnection.reset();
        for (const char* szSuffix : {"", "-wal", "-shm"})
            std::filesystem::remove(m_file.string() + szSuffix);
    }
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    void Run(const std::wstring& strText)
    {
        Command command;
        command.activeConnection = m_pConnection;
        command.lCommandTimeout = 0;
        command.strCommandText = strText;
        command.Execute(true);
    }
    const ConnectionPtr& Connection() const { return m_pConnection; }

private:
    std::filesystem::path m_file;
    ConnectionPtr m_pConnection;
};

template <class InsertRow> void InsertRows(benchmark::State& state, InsertRow insertRow)
{
    CDatabase database;
    std::int64_t i = 0;
    for (auto _ : state) {
        database.Connection()->BeginTrans();
        for (int n = 0; n < kRowsPerTransaction; ++n)
            insertRow(database, MakeRow(i++));
        database.Connection()->CommitTrans();
    }
    state.SetItemsProcessed(i);
}

void HexLiteralText(benchmark::State& state)
{
    InsertRows(state, [](CDatabase& database, const Row& row) {
        database.Run(L"INSERT INTO Items (FileName, NetworkName, RunId, HedLine, HeaderLineCount, HeaderLines, "
                     L"ContentLength) VALUES (" +
                     HexText(row.strFileName) + L", " + HexText(row.strNetworkName) + L", " +
                     std::to_wstring(row.lRunId) + L", " + HexText(row.strHedLine) + L", " +
                     std::to_wstring(row.lHeaderLineCount) + L", " + HexText(row.strHeaderLines) + L", " +
                     std::to_wstring(row.llContentLength) + L")");
    });
}
BENCHMARK(HexLiteralText)->Unit(benchmark::kMillisecond);

void BoundParameters(benchmark::State& state, bool bPrepared)
{
    std::optional<Command> insert;
    InsertRows(state, [&](CDatabase& database, const Row& row) {
        if (!insert) {
            insert.emplace();
            insert->activeConnection = database.Connection();
            insert->lCommandTimeout = 0;
            insert->bPrepared = bPrepared;
            insert->strCommandText = L"INSERT INTO Items (FileName, NetworkName, RunId, HedLine, HeaderLineCount, "
                                     L"HeaderLines, ContentLength) VALUES (?, ?, ?, ?, ?, ?, ?)";
            for (const DataType type : {DataType::VarWChar, DataType::VarWChar, DataType::Integer, DataType::VarWChar,
                                        DataType::Integer, DataType::VarWChar, DataType::BigInt})
                insert->parameters.push_back(
                    insert->CreateParameter(L"", type, ParameterDirection::Input, 0, Variant::Null()));
        }
        const std::vector<ParameterPtr>& p = insert->parameters;
        p[0]->value = Variant::String(row.strFileName);
        p[1]->value = Variant::String(row.strNetworkName);
        p[2]->value = Variant::Int32(row.lRunId);
        p[3]->value = Variant::String(row.strHedLine);
        p[4]->value = Variant::Int32(row.lHeaderLineCount);
        p[5]->value = Variant::String(row.strHeaderLines);
        p[6]->value = Variant::Int64(row.llContentLength);
        insert->Execute(true);
    });
}
BENCHMARK_CAPTURE(BoundParameters, Prepared, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BoundParameters, Direct, false)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
