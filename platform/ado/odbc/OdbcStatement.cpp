#include "OdbcStatement.h"

#include "Deadline.h"
#include "OdbcDiagnostics.h"
#include "OdbcHandles.h"
#include "OdbcParameters.h"
#include "OdbcResults.h"
#include "OdbcText.h"
#include "common/StringUtils.h"

#include <algorithm>
#include <optional>

namespace platform::ado::odbc {

std::vector<ParameterPtr> ParametersInBindingOrder(const std::vector<ParameterPtr>& parameters)
{
    std::vector<ParameterPtr> ordered;
    std::copy_if(parameters.begin(), parameters.end(), std::back_inserter(ordered),
                 [](const ParameterPtr& p) { return p->direction == ParameterDirection::ReturnValue; });
    // A procedure has one return value; a second one is bound as an ordinary output parameter.
    if (ordered.size() > 1)
        ordered.resize(1);
    for (const ParameterPtr& p : parameters) {
        if (ordered.empty() || p != ordered.front())
            ordered.push_back(p);
    }
    return ordered;
}

std::wstring BuildCallEscape(std::wstring_view strProcedureName, const std::vector<ParameterPtr>& parameters)
{
    const std::vector<ParameterPtr> ordered = ParametersInBindingOrder(parameters);
    const bool bReturnValue = !ordered.empty() && ordered.front()->direction == ParameterDirection::ReturnValue;
    std::wstring strCall = bReturnValue ? L"{? = call " : L"{call ";
    strCall += strProcedureName;
    const std::size_t cArguments = ordered.size() - (bReturnValue ? 1 : 0);
    if (cArguments > 0) {
        strCall += L'(';
        for (std::size_t i = 0; i < cArguments; ++i)
            strCall += i == 0 ? L"?" : L", ?";
        strCall += L')';
    }
    strCall += L'}';
    return strCall;
}

std::wstring StatementText(const Command& command)
{
    return command.commandType == CommandType::StoredProcedure
               ? BuildCallEscape(command.strCommandText, command.parameters)
               : command.strCommandText;
}

namespace {

// How long a cancelled statement may take to come back before its connection is severed: a
// server that works acknowledges a cancel at once.
constexpr std::chrono::seconds kCancelGrace{1};

std::optional<CDeadline> StatementDeadline(SQLHSTMT hStmt, std::int32_t lSeconds, const CDriverSocket* pSocket)
{
    if (lSeconds <= 0)
        return std::nullopt;
    std::vector<CDeadline::Step> steps{{std::chrono::seconds(lSeconds), [hStmt] { SQLCancel(hStmt); }}};
    if (pSocket)
        steps.push_back({std::chrono::seconds(lSeconds) + kCancelGrace, [pSocket] { pSocket->Sever(); }});
    return std::optional<CDeadline>(std::in_place, std::move(steps));
}

// Binds the parameters and runs the statement (execute binds them and answers what the driver's
// execution call answered), under the command's deadline; then reads its results and the
// outputs.
template <class Execute>
RecordsetPtr RunStatement(SQLHSTMT hStmt, Command& command, bool bNoRecords, const CDriverSocket* pSocket,
                          Execute execute)
{
    // Refused before anything reaches the driver.
    CBoundParameters bound(ParametersInBindingOrder(command.parameters));
    // The driver's own timer too: it ends a statement whose server falls silent.
    SQLSetStmtAttr(
        hStmt, SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max<std::int32_t>(command.lCommandTimeout, 0))), 0);
    const std::optional<CDeadline> deadline = StatementDeadline(hStmt, command.lCommandTimeout, pSocket);
    try {
        const auto [rc, szCall] = execute(bound);
        if (rc != SQL_NO_DATA)
            CheckOdbc(rc, szCall, SQL_HANDLE_STMT, hStmt);
        RecordsetPtr pRecordset = ReadResults(hStmt, rc, bNoRecords);
        bound.StoreOutputs();
        return pRecordset;
    } catch (const OdbcFailure& failure) {
        if (deadline && deadline->Passed())
            throw OdbcFailure("the command's deadline", WithTimeoutFirst(failure.Records(), L"Timeout expired"));
        throw;
    }
}

struct Executed
{
    SQLRETURN rc;
    const char* szCall;
};

} // namespace

RecordsetPtr ExecuteStatement(SQLHDBC hDbc, Command& command, bool bNoRecords, const CDriverSocket* pSocket)
{
    const COdbcStatement statement = AllocateStatement(hDbc);
    const SQLHSTMT hStmt = statement.Get();
    return RunStatement(hStmt, command, bNoRecords, pSocket, [&](CBoundParameters& bound) {
        bound.Bind(hStmt);
        SqlWideText text = ToSqlWide(StatementText(command));
        return Executed{SQLExecDirectW(hStmt, text.data(), SqlLength(text)), "SQLExecDirectW"};
    });
}

RecordsetPtr ExecutePrepared(COdbcPreparedStatement& statement, Command& command, bool bNoRecords,
                             const CDriverSocket* pSocket)
{
    const SQLHSTMT hStmt = statement.Handle();
    // What the last execution left: a cursor a failure kept open, bindings of buffers now gone.
    SQLFreeStmt(hStmt, SQL_CLOSE);
    SQLFreeStmt(hStmt, SQL_RESET_PARAMS);
    return RunStatement(hStmt, command, bNoRecords, pSocket, [&](CBoundParameters& bound) {
        const SQLSMALLINT cMarkers = statement.PrepareOnce();
        if (bound.Count() != static_cast<std::size_t>(cMarkers))
            throw CCommandRefused(DB_E_ERRORSINCOMMAND,
                                  FormatW(L"The statement has %d parameter markers, the command %zu parameters.",
                                          static_cast<int>(cMarkers), bound.Count()));
        bound.Bind(hStmt);
        return Executed{SQLExecute(hStmt), "SQLExecute"};
    });
}

} // namespace platform::ado::odbc
