#include "tools/velmorasvc/QuarantineDatabase.h"

#include "common/ComError.h"
#include "common/StringUtils.h"
#include "platform/ado/odbc/OdbcProvider.h"

#include <algorithm>
#include <array>

namespace Velmorasvc {
namespace {

using platform::ado::RecordsetPtr;

constexpr std::int32_t kLoginTimeout = 30;
// A local file has no server that could trickle an answer, and a statement with a time limit
// starts a thread to enforce it: unlimited statements keep each call on the service's own thread.
constexpr std::int32_t kNoCommandTimeout = 0;

constexpr std::array<const wchar_t*, 4> kSchema{
    // Write-ahead logging without a sync at every commit: a commit survives the service's crash,
    // and one commit per imported file costs little.
    L"PRAGMA journal_mode=WAL",
    L"PRAGMA synchronous=NORMAL",
    L"CREATE TABLE IF NOT EXISTS ImportRuns (RunId INTEGER PRIMARY KEY, StartedAt TEXT NOT NULL)",
    L"CREATE TABLE IF NOT EXISTS QuarantineItems ("
    L"ItemId INTEGER PRIMARY KEY, "
    L"FileName TEXT NOT NULL UNIQUE, "
    L"NetworkName TEXT NOT NULL, "
    L"RunId INTEGER NOT NULL REFERENCES ImportRuns (RunId), "
    L"HedLine TEXT NOT NULL, "
    L"HeaderLineCount INTEGER NOT NULL, "
    L"HeaderLines TEXT NOT NULL, "
    L"ContentLength INTEGER NOT NULL, "
    L"ImportedAt TEXT NOT NULL)",
};

constexpr const wchar_t* kNow = L"strftime('%Y-%m-%d %H:%M:%S', 'now')";

// The rows' first field as a number.
std::optional<std::int32_t> FirstNumber(const RecordsetPtr& pRecordset)
{
    if (!pRecordset || pRecordset->Rows().empty() || pRecordset->Rows().front().empty())
        return std::nullopt;
    return pRecordset->Rows().front().front().Int32Value();
}

} // namespace

std::wstring SqlText(const std::wstring& strText)
{
    const std::string strBytes = WideToNarrow(strText);
    if (strBytes.empty())
        return L"''";
    std::wstring strLiteral = L"CAST(X'";
    for (const unsigned char b : strBytes)
        strLiteral += FormatW(L"%02X", b);
    return strLiteral + L"' AS TEXT)";
}

CQuarantineDatabase::CQuarantineDatabase(const std::filesystem::path& file)
{
    // The driver reads the connection string as ASCII and ends a value at the first ';'.
    const std::string strFile = file.string();
    const bool bUsable = std::all_of(strFile.begin(), strFile.end(), [](char c) { return c > 0 && c != ';'; });
    if (!bUsable)
        throw UTIL::COM::_com_error(E_INVALIDARG, L"SQLite", L"the file name must be ASCII, without ';'");
    const std::wstring strOdbc = L"DRIVER=SQLite3;Database=" + NarrowToWide(strFile);
    try {
        m_pConnection = platform::ado::OpenOdbcConnection(strOdbc, kLoginTimeout);
    } catch (const UTIL::COM::_com_error& e) {
        throw UTIL::COM::_com_error(e.Error(), L"SQLite", e.Description());
    }
    for (const wchar_t* wszStatement : kSchema)
        Run(wszStatement);
}

platform::ado::RecordsetPtr CQuarantineDatabase::Run(const std::wstring& strStatement)
{
    platform::ado::Command command;
    command.activeConnection = m_pConnection;
    command.strCommandText = strStatement;
    command.lCommandTimeout = kNoCommandTimeout;
    try {
        return command.Execute(false);
    } catch (const UTIL::COM::_com_error& e) {
        RaiseWithDescription(e);
    }
}

void CQuarantineDatabase::RaiseWithDescription(const UTIL::COM::_com_error& e) const
{
    const std::vector<platform::ado::Error> errors = m_pConnection->Errors();
    throw UTIL::COM::_com_error(e.Error(), L"SQLite", errors.empty() ? L"" : errors.front().strDescription);
}

std::optional<std::int32_t> CQuarantineDatabase::FindItem(const std::wstring& strFileName)
{
    return FirstNumber(Run(L"SELECT ItemId FROM QuarantineItems WHERE FileName = " + SqlText(strFileName)));
}

std::int32_t CQuarantineDatabase::AddRun()
{
    Run(std::wstring(L"INSERT INTO ImportRuns (StartedAt) VALUES (") + kNow + L")");
    return FirstNumber(Run(L"SELECT RunId FROM ImportRuns WHERE rowid = last_insert_rowid()")).value_or(0);
}

void CQuarantineDatabase::AddItem(const QuarantineItem& item)
{
    std::wstring strHeaderLines;
    for (const std::wstring& strLine : item.headerLines)
        strHeaderLines += (strHeaderLines.empty() ? L"" : L"\r\n") + strLine;
    Run(L"INSERT INTO QuarantineItems (FileName, NetworkName, RunId, HedLine, HeaderLineCount, HeaderLines, "
        L"ContentLength, ImportedAt) VALUES (" +
        SqlText(item.strFileName) + L", " + SqlText(item.strNetworkName) + L", " + std::to_wstring(item.lRunId) +
        L", " + SqlText(item.strHedLine) + L", " + std::to_wstring(item.headerLines.size()) + L", " +
        SqlText(strHeaderLines) + L", " + std::to_wstring(item.cbContent) + L", " + kNow + L")");
}

} // namespace Velmorasvc
