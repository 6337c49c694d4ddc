#include "OdbcStatement.h"

#include "Deadline.h"
#include "OdbcDiagnostics.h"
#include "OdbcHandles.h"
#include "OdbcText.h"

#include <algorithm>
#include <optional>

namespace platform::ado::odbc {

namespace {

// The buffers of one bound parameter; they must stay where they are until every result of the
// statement has been read, since the server sends output values last.
struct BoundParameter
{
    ParameterPtr pParameter;
    SQLINTEGER lValue = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    SQLLEN cbIndicator = SQL_NULL_DATA;
};

void BindParameters(SQLHSTMT hStmt, std::vector<BoundParameter>& bound)
{
    SQLUSMALLINT iPosition = 0;
    for (BoundParameter& b : bound) {
        ++iPosition;
        SQLRETURN rc = SQL_ERROR;
        switch (b.pParameter->type) {
        case DataType::Integer:
            rc = SQLBindParameter(hStmt, iPosition, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &b.lValue,
                                  sizeof(b.lValue), &b.cbIndicator);
            break;
        case DataType::DBTimeStamp:
            // datetime: 23 characters ("yyyy-mm-dd hh:mm:ss.fff"), 3 digits of fractions.
            rc = SQLBindParameter(hStmt, iPosition, SQL_PARAM_OUTPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3,
                                  &b.timestamp, sizeof(b.timestamp), &b.cbIndicator);
            break;
        }
        CheckOdbc(rc, "SQLBindParameter", SQL_HANDLE_STMT, hStmt);
    }
}

void StoreParameterValues(const std::vector<BoundParameter>& bound)
{
    for (const BoundParameter& b : bound) {
        if (b.cbIndicator == SQL_NULL_DATA)
            b.pParameter->value = Variant::Null();
        else if (b.pParameter->type == DataType::Integer)
            b.pParameter->value = Variant::Int32(b.lValue);
        else
            b.pParameter->value = VariantFromTimestamp(b.timestamp);
    }
}

struct Column
{
    std::wstring strName;
    SQLSMALLINT sqlType = SQL_UNKNOWN_TYPE;
};

std::vector<Column> DescribeColumns(SQLHSTMT hStmt, SQLSMALLINT cColumns)
{
    std::vector<Column> columns;
    for (SQLUSMALLINT iColumn = 1; iColumn <= static_cast<SQLUSMALLINT>(cColumns); ++iColumn) {
        std::vector<SQLWCHAR> name(256);
        SQLSMALLINT cchName = 0;
        Column column;
        SQLULEN cbSize = 0;
        SQLSMALLINT cDecimals = 0;
        SQLSMALLINT nullable = 0;
        SQLRETURN rc = SQLDescribeColW(hStmt, iColumn, name.data(), static_cast<SQLSMALLINT>(name.size()), &cchName,
                                       &column.sqlType, &cbSize, &cDecimals, &nullable);
        if (Succeeded(rc) && cchName >= static_cast<SQLSMALLINT>(name.size())) {
            name.resize(static_cast<std::size_t>(cchName) + 1);
            rc = SQLDescribeColW(hStmt, iColumn, name.data(), static_cast<SQLSMALLINT>(name.size()), &cchName,
                                 &column.sqlType, &cbSize, &cDecimals, &nullable);
        }
        CheckOdbc(rc, "SQLDescribeColW", SQL_HANDLE_STMT, hStmt);
        column.strName =
            FromSqlWide(name.data(), std::min<std::ptrdiff_t>(std::max<SQLSMALLINT>(cchName, 0),
                                                              static_cast<std::ptrdiff_t>(name.size()) - 1));
        columns.push_back(std::move(column));
    }
    return columns;
}

// Reads a fixed-size value; nothing when the field is NULL.
template <class T> std::optional<T> GetFixed(SQLHSTMT hStmt, SQLUSMALLINT iColumn, SQLSMALLINT cType)
{
    T value{};
    SQLLEN cbIndicator = 0;
    CheckOdbc(SQLGetData(hStmt, iColumn, cType, &value, sizeof(value), &cbIndicator), "SQLGetData", SQL_HANDLE_STMT,
              hStmt);
    if (cbIndicator == SQL_NULL_DATA)
        return std::nullopt;
    return value;
}

// Reads a field as text, piece by piece for long values.
Variant GetText(SQLHSTMT hStmt, SQLUSMALLINT iColumn)
{
    std::vector<SQLWCHAR> text;
    SQLWCHAR buffer[2048];
    constexpr SQLLEN cbBuffer = sizeof(buffer);
    for (;;) {
        SQLLEN cbIndicator = 0;
        const SQLRETURN rc = SQLGetData(hStmt, iColumn, SQL_C_WCHAR, buffer, cbBuffer, &cbIndicator);
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, "SQLGetData", SQL_HANDLE_STMT, hStmt);
        if (cbIndicator == SQL_NULL_DATA)
            return Variant::Null();
        // The piece fills the buffer but for its terminating zero when more is to come.
        const bool bMore = rc == SQL_SUCCESS_WITH_INFO && (cbIndicator == SQL_NO_TOTAL || cbIndicator >= cbBuffer);
        const std::size_t cchPiece =
            bMore ? std::size(buffer) - 1
                  : std::min(static_cast<std::size_t>(cbIndicator) / sizeof(SQLWCHAR), std::size(buffer) - 1);
        text.insert(text.end(), buffer, buffer + cchPiece);
        if (!bMore)
            break;
    }
    return Variant::String(FromSqlWide(text.data(), static_cast<std::ptrdiff_t>(text.size())));
}

template <class T, class Make> Variant FixedOrNull(const std::optional<T>& value, Make make)
{
    return value ? make(*value) : Variant::Null();
}

Variant GetValue(SQLHSTMT hStmt, SQLUSMALLINT iColumn, SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_INTEGER:
        return FixedOrNull(GetFixed<SQLINTEGER>(hStmt, iColumn, SQL_C_SLONG),
                           [](SQLINTEGER l) { return Variant::Int32(l); });
    case SQL_SMALLINT:
    case SQL_TINYINT:
        return FixedOrNull(GetFixed<SQLSMALLINT>(hStmt, iColumn, SQL_C_SSHORT),
                           [](SQLSMALLINT i) { return Variant::Int16(i); });
    case SQL_BIGINT:
        return FixedOrNull(GetFixed<SQLBIGINT>(hStmt, iColumn, SQL_C_SBIGINT),
                           [](SQLBIGINT ll) { return Variant::Int64(ll); });
    case SQL_BIT:
        return FixedOrNull(GetFixed<SQLCHAR>(hStmt, iColumn, SQL_C_BIT),
                           [](SQLCHAR b) { return Variant::Bool(b != 0); });
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return FixedOrNull(GetFixed<SQLDOUBLE>(hStmt, iColumn, SQL_C_DOUBLE),
                           [](SQLDOUBLE d) { return Variant::Double(d); });
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
        return FixedOrNull(GetFixed<SQL_TIMESTAMP_STRUCT>(hStmt, iColumn, SQL_C_TYPE_TIMESTAMP),
                           [](const SQL_TIMESTAMP_STRUCT& ts) { return VariantFromTimestamp(ts); });
    default:
        // Decimals, times, binary data and whatever else the driver knows arrive as its text.
        return GetText(hStmt, iColumn);
    }
}

RecordsetPtr ReadResultSet(SQLHSTMT hStmt, SQLSMALLINT cColumns)
{
    const std::vector<Column> columns = DescribeColumns(hStmt, cColumns);
    std::vector<std::vector<Variant>> rows;
    for (;;) {
        const SQLRETURN rc = SQLFetch(hStmt);
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, "SQLFetch", SQL_HANDLE_STMT, hStmt);
        std::vector<Variant> row;
        row.reserve(columns.size());
        for (std::size_t i = 0; i < columns.size(); ++i)
            row.push_back(GetValue(hStmt, static_cast<SQLUSMALLINT>(i + 1), columns[i].sqlType));
        rows.push_back(std::move(row));
    }
    std::vector<std::wstring> names;
    for (const Column& column : columns)
        names.push_back(column.strName);
    return std::make_shared<Recordset>(std::move(names), std::move(rows));
}

} // namespace

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

Variant VariantFromTimestamp(const SQL_TIMESTAMP_STRUCT& timestamp)
{
    DateTime date;
    date.iYear = timestamp.year;
    date.iMonth = timestamp.month;
    date.iDay = timestamp.day;
    date.iHour = timestamp.hour;
    date.iMinute = timestamp.minute;
    date.iSecond = timestamp.second;
    return Variant::Date(date);
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

RecordsetPtr RunStatement(SQLHSTMT hStmt, Command& command, bool bNoRecords)
{
    // The driver's own timer too: it ends a statement whose server falls silent.
    SQLSetStmtAttr(
        hStmt, SQL_ATTR_QUERY_TIMEOUT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max<std::int32_t>(command.lCommandTimeout, 0))), 0);

    std::vector<BoundParameter> bound;
    for (const ParameterPtr& p : ParametersInBindingOrder(command.parameters))
        bound.push_back(BoundParameter{p});
    BindParameters(hStmt, bound);

    SqlWideText text = ToSqlWide(command.commandType == CommandType::StoredProcedure
                                     ? BuildCallEscape(command.strCommandText, command.parameters)
                                     : command.strCommandText);
    SQLRETURN rc = SQLExecDirectW(hStmt, text.data(), SqlLength(text));
    if (rc != SQL_NO_DATA)
        CheckOdbc(rc, "SQLExecDirectW", SQL_HANDLE_STMT, hStmt);

    // The first result that has columns is the recordset: row counts of statements before it
    // are not results a caller could read. Every later result is read to its end, so that
    // statements after the first, informational messages (a backup's progress) and the errors
    // among them all arrive, and output parameters are filled.
    RecordsetPtr pRecordset;
    bool bHasResult = rc != SQL_NO_DATA;
    for (;;) {
        if (bHasResult && !bNoRecords && !pRecordset) {
            SQLSMALLINT cColumns = 0;
            CheckOdbc(SQLNumResultCols(hStmt, &cColumns), "SQLNumResultCols", SQL_HANDLE_STMT, hStmt);
            if (cColumns > 0)
                pRecordset = ReadResultSet(hStmt, cColumns);
        }
        rc = SQLMoreResults(hStmt);
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, "SQLMoreResults", SQL_HANDLE_STMT, hStmt);
        bHasResult = true;
    }
    StoreParameterValues(bound);
    return bNoRecords ? nullptr : pRecordset;
}

} // namespace

RecordsetPtr ExecuteStatement(SQLHDBC hDbc, Command& command, bool bNoRecords, const CDriverSocket* pSocket)
{
    const COdbcStatement statement = AllocateStatement(hDbc);
    // Declared after the statement, so that it is gone before the statement handle is freed.
    const std::optional<CDeadline> deadline = StatementDeadline(statement.Get(), command.lCommandTimeout, pSocket);
    try {
        return RunStatement(statement.Get(), command, bNoRecords);
    } catch (const OdbcFailure& failure) {
        if (deadline && deadline->Passed())
            throw OdbcFailure("the command's deadline", WithTimeoutFirst(failure.Records(), L"Timeout expired"));
        throw;
    }
}

} // namespace platform::ado::odbc
