#include "OdbcParameters.h"

#include "OdbcDiagnostics.h"
#include "OdbcResults.h"
#include "OdbcText.h"
#include "common/StringUtils.h"

#include <algorithm>

namespace platform::ado::odbc {

namespace {

// SQL Server's longest nvarchar(n) and varbinary(n); a longer value goes as (max).
constexpr SQLULEN kLongestWideText = 4000;
constexpr SQLULEN kLongestBinary = 8000;

const wchar_t* TypeName(DataType type)
{
    switch (type) {
    case DataType::Integer:
        return L"adInteger";
    case DataType::BigInt:
        return L"adBigInt";
    case DataType::DBTimeStamp:
        return L"adDBTimeStamp";
    case DataType::VarWChar:
        return L"adVarWChar";
    case DataType::VarBinary:
        return L"adVarBinary";
    }
    return L"an unknown type";
}

const wchar_t* VarTypeName(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY:
        return L"VT_EMPTY";
    case VT_NULL:
        return L"VT_NULL";
    case VT_I2:
        return L"VT_I2";
    case VT_I4:
        return L"VT_I4";
    case VT_R8:
        return L"VT_R8";
    case VT_DATE:
        return L"VT_DATE";
    case VT_BSTR:
        return L"VT_BSTR";
    case VT_BOOL:
        return L"VT_BOOL";
    case VT_I8:
        return L"VT_I8";
    case VT_ARRAY_UI1:
        return L"VT_ARRAY | VT_UI1";
    }
    return L"VT_?";
}

// "parameter 2 (@Name)": where in the command, and the name when it has one.
std::wstring Which(const Parameter& parameter, std::size_t iPosition)
{
    std::wstring str = L"Parameter " + std::to_wstring(iPosition);
    if (!parameter.strName.empty())
        str += L" (" + parameter.strName + L")";
    return str;
}

[[noreturn]] void Refuse(const Parameter& parameter, std::size_t iPosition, const std::wstring& strWhy)
{
    throw CCommandRefused(DB_E_ERRORSOCCURRED, Which(parameter, iPosition) + L" " + strWhy);
}

bool TypeTakes(DataType type, VARTYPE vt)
{
    const bool bSmallInteger = vt == VT_I4 || vt == VT_I2;
    switch (type) {
    case DataType::Integer:
        return bSmallInteger;
    case DataType::BigInt:
        return bSmallInteger || vt == VT_I8;
    case DataType::DBTimeStamp:
        return vt == VT_DATE;
    case DataType::VarWChar:
        return vt == VT_BSTR;
    case DataType::VarBinary:
        return vt == VT_ARRAY_UI1;
    }
    return false;
}

SQL_TIMESTAMP_STRUCT TimestampFromDate(const DateTime& date)
{
    SQL_TIMESTAMP_STRUCT timestamp{};
    timestamp.year = static_cast<SQLSMALLINT>(date.iYear);
    timestamp.month = static_cast<SQLUSMALLINT>(date.iMonth);
    timestamp.day = static_cast<SQLUSMALLINT>(date.iDay);
    timestamp.hour = static_cast<SQLUSMALLINT>(date.iHour);
    timestamp.minute = static_cast<SQLUSMALLINT>(date.iMinute);
    timestamp.second = static_cast<SQLUSMALLINT>(date.iSecond);
    return timestamp;
}

} // namespace

CCommandRefused::CCommandRefused(HRESULT hr, std::wstring strDescription)
    : std::runtime_error(WideToNarrow(strDescription)), m_hr(hr), m_strDescription(std::move(strDescription))
{
}

CBoundParameters::CBoundParameters(const std::vector<ParameterPtr>& parameters)
{
    m_bound.reserve(parameters.size());
    for (const ParameterPtr& pParameter : parameters)
        m_bound.push_back(Describe(pParameter, m_bound.size() + 1));
}

CBoundParameters::Bound CBoundParameters::Describe(const ParameterPtr& pParameter, std::size_t iPosition)
{
    Bound b;
    b.pParameter = pParameter;
    switch (pParameter->type) {
    case DataType::Integer:
        b.cType = SQL_C_SLONG;
        b.sqlType = SQL_INTEGER;
        break;
    case DataType::BigInt:
        b.cType = SQL_C_SBIGINT;
        b.sqlType = SQL_BIGINT;
        break;
    case DataType::DBTimeStamp:
        // datetime: 23 characters ("yyyy-mm-dd hh:mm:ss.fff"), 3 digits of fractions.
        b.cType = SQL_C_TYPE_TIMESTAMP;
        b.sqlType = SQL_TYPE_TIMESTAMP;
        b.cbColumnSize = 23;
        b.cDecimals = 3;
        break;
    case DataType::VarWChar:
        b.cType = SQL_C_WCHAR;
        b.sqlType = SQL_WVARCHAR;
        break;
    case DataType::VarBinary:
        b.cType = SQL_C_BINARY;
        b.sqlType = SQL_VARBINARY;
        break;
    default:
        Refuse(*pParameter, iPosition, L"has a type that this provider cannot bind.");
    }
    switch (pParameter->direction) {
    case ParameterDirection::Input:
        CopyInput(b, iPosition);
        break;
    case ParameterDirection::Output:
    case ParameterDirection::ReturnValue:
        // Outputs are the fixed-size types, which need no length from the caller.
        if (b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY)
            Refuse(*pParameter, iPosition,
                   std::wstring(L"of type ") + TypeName(pParameter->type) + L" can only be an input.");
        break;
    default:
        Refuse(*pParameter, iPosition, L"has a direction that this provider cannot bind.");
    }
    return b;
}

void CBoundParameters::CopyInput(Bound& b, std::size_t iPosition)
{
    const Parameter& parameter = *b.pParameter;
    const Variant& value = parameter.value;
    // A declared size makes room for every value up to it, so that the buffers bound for one
    // execution of a prepared statement take the values of the next.
    if (parameter.lSize > 0 && parameter.type == DataType::VarWChar)
        b.text.reserve(static_cast<std::size_t>(parameter.lSize) + 1);
    if (parameter.lSize > 0 && parameter.type == DataType::VarBinary)
        b.bytes.reserve(static_cast<std::size_t>(parameter.lSize));
    if (value.Type() == VT_NULL) {
        b.cbIndicator = SQL_NULL_DATA;
        if (b.cbColumnSize == 0)
            b.cbColumnSize = std::max<SQLULEN>(static_cast<SQLULEN>(std::max(parameter.lSize, 0)), 1);
        return;
    }
    if (!TypeTakes(parameter.type, value.Type()))
        Refuse(parameter, iPosition,
               std::wstring(L"of type ") + TypeName(parameter.type) + L" cannot take a value of type " +
                   VarTypeName(value.Type()) + L".");
    // The declared size when there is one, else the value's own; never 0, which drivers refuse.
    const auto ColumnSize = [&](std::size_t cUnits) -> SQLULEN {
        if (parameter.lSize > 0 && cUnits > static_cast<std::size_t>(parameter.lSize))
            Refuse(parameter, iPosition,
                   FormatW(L"holds %zu units, more than its size of %d.", cUnits, parameter.lSize));
        return std::max<SQLULEN>(parameter.lSize > 0 ? static_cast<SQLULEN>(parameter.lSize) : cUnits, 1);
    };
    switch (parameter.type) {
    case DataType::Integer:
        b.lValue = value.Int32Value();
        b.cbIndicator = sizeof(b.lValue);
        break;
    case DataType::BigInt:
        b.llValue = value.Int64Value();
        b.cbIndicator = sizeof(b.llValue);
        break;
    case DataType::DBTimeStamp:
        b.timestamp = TimestampFromDate(value.DateValue());
        b.cbIndicator = sizeof(b.timestamp);
        break;
    case DataType::VarWChar: {
        const SqlWideText text = ToSqlWide(value.StringValue());
        b.text.assign(text.begin(), text.end());
        b.cbColumnSize = ColumnSize(b.text.size() - 1);
        b.cbIndicator = static_cast<SQLLEN>((b.text.size() - 1) * sizeof(SQLWCHAR));
        if (b.cbColumnSize > kLongestWideText)
            b.sqlType = SQL_WLONGVARCHAR;
        break;
    }
    case DataType::VarBinary:
        b.bytes.assign(value.BytesValue().begin(), value.BytesValue().end());
        b.cbColumnSize = ColumnSize(b.bytes.size());
        b.cbIndicator = static_cast<SQLLEN>(b.bytes.size());
        if (b.cbColumnSize > kLongestBinary)
            b.sqlType = SQL_LONGVARBINARY;
        break;
    }
}

void CBoundParameters::Bind(SQLHSTMT hStmt)
{
    SQLUSMALLINT iPosition = 0;
    for (Bound& b : m_bound) {
        ++iPosition;
        SQLPOINTER pBuffer = nullptr;
        SQLLEN cbBuffer = 0;
        switch (b.cType) {
        case SQL_C_SLONG:
            pBuffer = &b.lValue;
            cbBuffer = sizeof(b.lValue);
            break;
        case SQL_C_SBIGINT:
            pBuffer = &b.llValue;
            cbBuffer = sizeof(b.llValue);
            break;
        case SQL_C_TYPE_TIMESTAMP:
            pBuffer = &b.timestamp;
            cbBuffer = sizeof(b.timestamp);
            break;
        case SQL_C_WCHAR:
            pBuffer = b.text.data();
            cbBuffer = static_cast<SQLLEN>(b.text.capacity() * sizeof(SQLWCHAR));
            break;
        default:
            // Drivers want a buffer even for no bytes at all.
            b.bytes.reserve(1);
            pBuffer = b.bytes.data();
            cbBuffer = static_cast<SQLLEN>(b.bytes.capacity());
            break;
        }
        const SQLSMALLINT ioType =
            b.pParameter->direction == ParameterDirection::Input ? SQL_PARAM_INPUT : SQL_PARAM_OUTPUT;
        CheckOdbc(SQLBindParameter(hStmt, iPosition, ioType, b.cType, b.sqlType, b.cbColumnSize, b.cDecimals, pBuffer,
                                   cbBuffer, &b.cbIndicator),
                  "SQLBindParameter", SQL_HANDLE_STMT, hStmt);
    }
}

bool CBoundParameters::TakeValuesOf(const CBoundParameters& next)
{
    const auto SameBinding = [](const Bound& kept, const Bound& b) {
        return kept.pParameter->direction == b.pParameter->direction && kept.cType == b.cType &&
               kept.sqlType == b.sqlType && kept.cbColumnSize == b.cbColumnSize && kept.cDecimals == b.cDecimals &&
               b.text.size() <= kept.text.capacity() && b.bytes.size() <= kept.bytes.capacity();
    };
    if (next.m_bound.size() != m_bound.size() ||
        !std::equal(m_bound.begin(), m_bound.end(), next.m_bound.begin(), SameBinding))
        return false;
    for (std::size_t i = 0; i < m_bound.size(); ++i) {
        Bound& kept = m_bound[i];
        const Bound& b = next.m_bound[i];
        kept.pParameter = b.pParameter;
        kept.lValue = b.lValue;
        kept.llValue = b.llValue;
        kept.timestamp = b.timestamp;
        // Within the capacity bound: the buffers stay where the statement reads them.
        kept.text.assign(b.text.begin(), b.text.end());
        kept.bytes.assign(b.bytes.begin(), b.bytes.end());
        kept.cbIndicator = b.cbIndicator;
    }
    return true;
}

void CBoundParameters::StoreOutputs() const
{
    for (const Bound& b : m_bound) {
        if (b.pParameter->direction == ParameterDirection::Input)
            continue;
        if (b.cbIndicator == SQL_NULL_DATA)
            b.pParameter->value = Variant::Null();
        else if (b.cType == SQL_C_SLONG)
            b.pParameter->value = Variant::Int32(b.lValue);
        else if (b.cType == SQL_C_SBIGINT)
            b.pParameter->value = Variant::Int64(b.llValue);
        else
            b.pParameter->value = VariantFromTimestamp(b.timestamp);
    }
}

} // namespace platform::ado::odbc
