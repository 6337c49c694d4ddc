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

// What running a statement answered, and the parameters it ran with.
struct Executed
{
    SQLRETURN rc;
    const char* szCall;
    const CBoundParameters& bound;
};

// Runs the statement (execute binds the parameters and calls the driver) under the command's
// deadline; then reads its results and the outputs.
template <class Execute>
RecordsetPtr RunStatement(SQLHSTMT hStmt, const Command& command, bool bNoRecords, const CDriverSocket* pSocket,
                          Execute execute)
{
    // The driver's own timer too: it ends a statement whose server falls silent.
    SQLSetStmtAttr(
        hStmt, SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max<std::int32_t>(command.lCommandTimeout, 0))), 0);
    const std::optional<CDeadline> deadline = StatementDeadline(hStmt, command.lCommandTimeout, pSocket);
    try {
        const Executed executed = execute();
        if (executed.rc != SQL_NO_DATA)
            CheckOdbc(executed.rc, executed.szCall, SQL_HANDLE_STMT, hStmt);
        RecordsetPtr pRecordset = ReadResults(hStmt, executed.rc, bNoRecords);
        executed.bound.StoreOutputs();
        return pRecordset;
    } catch (const OdbcFailure& failure) {
        if (deadline && deadline->Passed())
            throw OdbcFailure("the command's deadline", WithTimeoutFirst(failure.Records(), L"Timeout expired"));
        throw;
    }
}

} // namespace

RecordsetPtr ExecuteStatement(SQLHDBC hDbc, Command& command, bool bNoRecords, const CDriverSocket* pSocket)
{
    // Refused before anything reaches the driver.
    CBoundParameters bound(ParametersInBindingOrder(command.parameters));
    const COdbcStatement statement = AllocateStatement(hDbc);
    const SQLHSTMT hStmt = statement.Get();
    return RunStatement(hStmt, command, bNoRecords, pSocket, [&] {
        bound.Bind(hStmt);
        SqlWideText text = ToSqlWide(StatementText(command));
        return Executed{SQLExecDirectW(hStmt, text.data(), SqlLength(text)), "SQLExecDirectW", bound};
    });
}

RecordsetPtr ExecutePrepared(COdbcPreparedStatement& statement, Command& command, bool bNoRecords,
                             const CDriverSocket* pSocket)
{
    CBoundParameters next(ParametersInBindingOrder(command.parameters));
    const SQLHSTMT hStmt = statement.Handle();
    // A cursor that a failed execution left open.
    SQLFreeStmt(hStmt, SQL_CLOSE);
    return RunStatement(hStmt, command, bNoRecords, pSocket, [&] {
        const SQLSMALLINT cMarkers = statement.PrepareOnce();
        if (next.Count() != static_cast<std::size_t>(cMarkers))
            throw CCommandRefused(DB_E_ERRORSINCOMMAND,
                                  FormatW(L"The statement has %d parameter markers, the command %zu parameters.",
                                          static_cast<int>(cMarkers), next.Count()));
        const CBoundParameters& bound = statement.Bind(std::move(next));
        return Executed{SQLExecute(hStmt), "SQLExecute", bound};
    });
}

} // namespace platform::ado::odbc
