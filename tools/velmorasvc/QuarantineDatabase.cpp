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
    L"ContentLength BIGINT NOT NULL, "
    L"ImportedAt TEXT NOT NULL)",
};

// The time of an insert, as the database's clock gives it.
constexpr const wchar_t* kNow = L"strftime('%Y-%m-%d %H:%M:%S', 'now')";

using platform::Variant;
using platform::ado::DataType;

// The rows' first field as a number.
std::optional<std::int32_t> FirstNumber(const RecordsetPtr& pRecordset)
{
    if (!pRecordset || pRecordset->Rows().empty() || pRecordset->Rows().front().empty())
        return std::nullopt;
    return pRecordset->Rows().front().front().Int32Value();
}

} // namespace

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
    for (const wchar_t* wszStatement : kSchema) {
        platform::ado::Command schema = MakeCommand(wszStatement, {});
        Run(schema);
    }
    m_findItem = MakeCommand(L"SELECT ItemId FROM QuarantineItems WHERE FileName = ?", {DataType::VarWChar}, true);
    m_addItem = MakeCommand(std::wstring(L"INSERT INTO QuarantineItems (FileName, NetworkName, RunId, HedLine, "
                                         L"HeaderLineCount, HeaderLines, ContentLength, ImportedAt) "
                                         L"VALUES (?, ?, ?, ?, ?, ?, ?, ") +
                                kNow + L")",
                            {DataType::VarWChar, DataType::VarWChar, DataType::Integer, DataType::VarWChar,
                             DataType::Integer, DataType::VarWChar, DataType::BigInt},
                            true);
}

platform::ado::Command CQuarantineDatabase::MakeCommand(std::wstring strText,
                                                        const std::vector<platform::ado::DataType>& parameterTypes,
                                                        bool bPrepared) const
{
    platform::ado::Command command;
    command.activeConnection = m_pConnection;
    command.strCommandText = std::move(strText);
    command.lCommandTimeout = kNoCommandTimeout;
    command.bPrepared = bPrepared;
    for (const DataType type : parameterTypes)
        command.parameters.push_back(
            command.CreateParameter(L"", type, platform::ado::ParameterDirection::Input, 0, Variant::Null()));
    return command;
}

platform::ado::RecordsetPtr CQuarantineDatabase::Run(platform::ado::Command& command, std::vector<Variant> values)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        command.parameters[i]->value = std::move(values[i]);
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
    return FirstNumber(Run(m_findItem, {Variant::String(strFileName)}));
}

std::int32_t CQuarantineDatabase::AddRun()
{
    platform::ado::Command addRun =
        MakeCommand(std::wstring(L"INSERT INTO ImportRuns (StartedAt) VALUES (") + kNow + L")", {});
    Run(addRun);
    platform::ado::Command lastRun = MakeCommand(L"SELECT RunId FROM ImportRuns WHERE rowid = last_insert_rowid()", {});
    return FirstNumber(Run(lastRun)).value_or(0);
}

void CQuarantineDatabase::AddItem(const QuarantineItem& item)
{
    std::wstring strHeaderLines;
    for (const std::wstring& strLine : item.headerLines)
        strHeaderLines += (strHeaderLines.empty() ? L"" : L"\r\n") + strLine;
    Run(m_addItem,
        {Variant::String(item.strFileName), Variant::String(item.strNetworkName), Variant::Int32(item.lRunId),
         Variant::String(item.strHedLine), Variant::Int32(static_cast<std::int32_t>(item.headerLines.size())),
         Variant::String(strHeaderLines), Variant::Int64(static_cast<std::int64_t>(item.cbContent))});
}

} // namespace Velmorasvc
