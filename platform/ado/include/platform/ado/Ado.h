#pragma once
// An ADO-like layer with the members its users need: a connection opened with an OLE DB
// connection string and the same settings as fields, transactions and an errors collection; commands (text or stored
// procedure) with a timeout, input and output parameters, and prepared once to run many times; client-side,
// forward-only, read-only recordsets with their record count and fields. Failures throw UTIL::COM::_com_error with the
// HRESULT ADO would give, after the connection's errors collection has been filled.

#include "common/HResult.h"
#include "platform/Variant.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ado {

// Data types and directions of parameters, with ADO's numbers. The value of a parameter is a
// Variant of the type's own: VT_I4 (or VT_I2) for Integer, VT_I8 (or a smaller integer) for
// BigInt, VT_DATE for DBTimeStamp, VT_BSTR for VarWChar, VT_ARRAY_UI1 for VarBinary; VT_NULL
// for any of them.
enum class DataType : std::int32_t { Integer = 3, BigInt = 20, DBTimeStamp = 135, VarWChar = 202, VarBinary = 204 };
enum class ParameterDirection : std::int32_t { Input = 1, Output = 2, ReturnValue = 4 };
enum class CommandType : std::int32_t { Text = 1, StoredProcedure = 4 };

// One entry of a connection's errors collection.
struct Error
{
    std::int32_t lNumber;   // the server's or driver's native error number
    std::wstring strSource; // who reported it: the driver, with its SQLSTATE
    std::wstring strDescription;
};

struct Parameter
{
    std::wstring strName;
    DataType type;
    ParameterDirection direction;
    // The longest value of a text (in UTF-16 units) or binary input; 0: as long as its value.
    std::int32_t lSize;
    Variant value; // an input's value, read at each execution; an output's, set after the command ran
};
using ParameterPtr = std::shared_ptr<Parameter>;

// The rows of a result, all read at once (a client-side cursor).
class Recordset
{
public:
    Recordset(std::vector<std::wstring> fieldNames, std::vector<std::vector<Variant>> rows);

    std::int32_t RecordCount() const { return static_cast<std::int32_t>(m_rows.size()); }
    // The value of the named field in the current row (the first); nothing when there is no
    // such field or no row.
    std::optional<Variant> FieldValue(std::wstring_view fieldName) const;
    bool HasField(std::wstring_view fieldName) const;

    const std::vector<std::wstring>& FieldNames() const { return m_fieldNames; }
    const std::vector<std::vector<Variant>>& Rows() const { return m_rows; }

private:
    std::vector<std::wstring> m_fieldNames;
    std::vector<std::vector<Variant>> m_rows;
};
using RecordsetPtr = std::shared_ptr<Recordset>;

class Command;

// What a provider keeps for a prepared command: its statement, prepared on the command's first
// execution and executed again with each execution's parameter values, for as long as the
// command keeps the same text on the same open connection. It goes with the command.
class PreparedStatement
{
public:
    virtual ~PreparedStatement() = default;
};

// What a connection is opened with. The connection string is the OLE DB text that the library
// builds and traces, and that tests' fake providers match their rules against. The same settings
// travel as fields of their own, and a real provider connects with those alone: nothing is read
// back out of the text, where a value holding ";" or "=" (a password above all) would pass for a
// clause of its own and could send the login to another server.
struct ConnectionProperties
{
    std::wstring strConnectionString;
    std::wstring strDataSource;      // "host", "host\instance" or "host,port"
    std::wstring strFailoverPartner; // empty: none
    bool bIntegratedSecurity = true;
    std::wstring strUserId; // with bIntegratedSecurity false
    std::wstring strPassword;
    std::int32_t lConnectTimeout = 15; // seconds; 0 waits without limit, a negative value is ADO's 15
    std::wstring strInitialCatalog;    // empty: the login's default database

    bool operator==(const ConnectionProperties&) const = default;
};

// A connection to a server, as a provider makes it.
class Connection
{
public:
    virtual ~Connection() = default;

    virtual void Open(const ConnectionProperties& properties) = 0;
    virtual void Close() = 0;
    virtual void BeginTrans() = 0;
    virtual void CommitTrans() = 0;
    virtual void RollbackTrans() = 0;
    // The errors of the last call that failed on this connection.
    virtual std::vector<Error> Errors() const = 0;
    // Runs the command. With bNoRecords, any result is discarded and null returned; otherwise
    // the first result set, or null when the command produced none. Input parameters are bound
    // with their values; output and return-value parameters are filled in. A prepared command
    // keeps its statement in the command.
    virtual RecordsetPtr Execute(Command& command, bool bNoRecords) = 0;
};
using ConnectionPtr = std::shared_ptr<Connection>;

class Command
{
public:
    // Seconds; 0 waits without limit. ADO's default, which a timeout it cannot take leaves.
    std::int32_t lCommandTimeout = 30;
    ConnectionPtr activeConnection;
    CommandType commandType = CommandType::Text;
    std::wstring strCommandText;
    std::vector<ParameterPtr> parameters;
    // ADO's Prepared: the statement is prepared once and kept for the executions that follow.
    bool bPrepared = false;
    // The provider's, for a prepared command; nothing else touches it.
    std::unique_ptr<PreparedStatement> pPreparedStatement;

    // Throws _com_error(ADO_E_INVALID_ARGUMENT) for a negative timeout, as ADO refuses one.
    void SetCommandTimeout(std::int32_t lSeconds);
    ParameterPtr CreateParameter(std::wstring strName, DataType type, ParameterDirection direction, std::int32_t lSize,
                                 Variant value);
    // Runs the command on its active connection; throws _com_error when it has none.
    RecordsetPtr Execute(bool bNoRecords);
};

// What makes connections ("CoCreateInstance(Connection)"): the ODBC provider, or a test's.
class Provider
{
public:
    virtual ~Provider() = default;
    virtual ConnectionPtr CreateConnection() = 0;
};

// HRESULTs that the layer reports as ADO does.
constexpr HRESULT DB_E_ERRORSINCOMMAND = ::DB_E_ERRORSINCOMMAND;     // the server rejected a statement
constexpr HRESULT DB_SEC_E_AUTH_FAILED = MakeHResult(0x80040E4D);    // login refused
constexpr HRESULT DB_E_ABORTLIMITREACHED = MakeHResult(0x80040E31);  // command timeout
constexpr HRESULT ADO_E_OBJECT_CLOSED = MakeHResult(0x800A0E78);     // no open connection
constexpr HRESULT ADO_E_ITEM_NOT_FOUND = MakeHResult(0x800A0CC1);    // no such field
constexpr HRESULT ADO_E_INVALID_ARGUMENT = MakeHResult(0x800A0BB9);  // an argument out of range
constexpr HRESULT ADO_E_NO_CURRENT_RECORD = MakeHResult(0x800A0BCD); // a field's value with no current row
constexpr HRESULT DB_E_ERRORSOCCURRED = MakeHResult(0x80040E21);     // a parameter that cannot take its value

} // namespace platform::ado
