#pragma once
// A command's parameters bound to a statement with SQLBindParameter: input values copied into
// buffers of their ODBC types, output buffers read back once the statement has run. A value its
// parameter's type cannot take is refused before anything is bound, as ADO refuses it.

#include "platform/ado/Ado.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::ado::odbc {

// A command this layer refuses before the driver sees it: the HRESULT ADO gives, and the one
// entry of the errors collection.
class CCommandRefused : public std::runtime_error
{
public:
    CCommandRefused(HRESULT hr, std::wstring strDescription);
    HRESULT Result() const noexcept { return m_hr; }
    const std::wstring& Description() const noexcept { return m_strDescription; }

private:
    HRESULT m_hr;
    std::wstring m_strDescription;
};

class CBoundParameters
{
public:
    // The parameters in the order of the statement's markers. Throws CCommandRefused
    // (DB_E_ERRORSOCCURRED) for a value that a parameter's type cannot take.
    explicit CBoundParameters(const std::vector<ParameterPtr>& parameters);
    CBoundParameters(const CBoundParameters&) = delete;
    CBoundParameters& operator=(const CBoundParameters&) = delete;
    // Moving keeps every buffer where it is, and so the bindings valid.
    CBoundParameters(CBoundParameters&&) = default;
    CBoundParameters& operator=(CBoundParameters&&) = default;

    std::size_t Count() const { return m_bound.size(); }
    // Binds every parameter to the statement; the buffers stay where they are until the object
    // goes, since the server sends output values after every result.
    void Bind(SQLHSTMT hStmt);
    // Takes the values of the next execution into these buffers, where the statement reads them,
    // when every parameter keeps its type, size and direction and its value fits the buffer
    // bound; false, with nothing taken, when the statement must be bound again. A driver that
    // sends prepared statements to a server prepares again after every new binding.
    bool TakeValuesOf(const CBoundParameters& next);
    // Sets each output and return value from its buffer.
    void StoreOutputs() const;

private:
    struct Bound
    {
        ParameterPtr pParameter;
        SQLSMALLINT cType = 0;
        SQLSMALLINT sqlType = 0;
        SQLULEN cbColumnSize = 0;
        SQLSMALLINT cDecimals = 0;
        SQLINTEGER lValue = 0;
        SQLBIGINT llValue = 0;
        SQL_TIMESTAMP_STRUCT timestamp{};
        std::vector<SQLWCHAR> text;
        std::vector<std::uint8_t> bytes;
        SQLLEN cbIndicator = SQL_NULL_DATA;
    };
    static Bound Describe(const ParameterPtr& pParameter, std::size_t iPosition);
    static void CopyInput(Bound& b, std::size_t iPosition);

    std::vector<Bound> m_bound;
};

} // namespace platform::ado::odbc
