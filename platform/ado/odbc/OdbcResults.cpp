#include "OdbcResults.h"

#include "OdbcDiagnostics.h"
#include "OdbcText.h"

#include <algorithm>
#include <optional>

namespace platform::ado::odbc {

namespace {

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

// Reads a binary field whole, piece by piece.
Variant GetBytes(SQLHSTMT hStmt, SQLUSMALLINT iColumn)
{
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[4096];
    for (;;) {
        SQLLEN cbIndicator = 0;
        const SQLRETURN rc = SQLGetData(hStmt, iColumn, SQL_C_BINARY, buffer, sizeof(buffer), &cbIndicator);
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, "SQLGetData", SQL_HANDLE_STMT, hStmt);
        if (cbIndicator == SQL_NULL_DATA)
            return Variant::Null();
        const bool bMore =
            rc == SQL_SUCCESS_WITH_INFO && (cbIndicator == SQL_NO_TOTAL || cbIndicator > SQLLEN{sizeof(buffer)});
        const std::size_t cbPiece = bMore ? sizeof(buffer) : static_cast<std::size_t>(cbIndicator);
        bytes.insert(bytes.end(), buffer, buffer + cbPiece);
        if (!bMore)
            break;
    }
    return Variant::Bytes(bytes);
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
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return GetBytes(hStmt, iColumn);
    default:
        // Decimals, times and whatever else the driver knows arrive as its text.
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

RecordsetPtr ReadResults(SQLHSTMT hStmt, SQLRETURN rcExecute, bool bNoRecords)
{
    SQLRETURN rc = rcExecute;
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
    return bNoRecords ? nullptr : pRecordset;
}

} // namespace platform::ado::odbc
