#pragma once
// A connection of the ODBC provider: an ODBC connection opened with the connection's settings
// (the failover partner tried when the principal cannot be reached), transactions by switching
// autocommit off and ending them with SQLEndTran, commands run through ExecuteStatement (a
// prepared one through the statement it keeps, which the connection frees when it closes). Every
// failure fills the errors collection from the driver's diagnostic records and throws
// _com_error with the HRESULT ADO gives.
//
// The login timeout and each command's timeout are deadlines of the whole call, whatever the
// server sends meanwhile: the driver's own timers start again with every byte that arrives.

#include "DriverSocket.h"
#include "OdbcDiagnostics.h"
#include "OdbcHandles.h"
#include "OdbcPreparedStatement.h"
#include "platform/ado/Ado.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ado::odbc {

// Answers of ADO and its transaction manager that have no other home.
constexpr HRESULT ADO_E_OBJECT_OPEN = MakeHResult(0x800A0E79);    // Open on an open connection
constexpr HRESULT XACT_E_XTIONEXISTS = MakeHResult(0x8004D013);   // a second BeginTrans
constexpr HRESULT XACT_E_NOTRANSACTION = MakeHResult(0x8004D00E); // commit or rollback without one

class OdbcConnection final : public Connection
{
public:
    OdbcConnection() = default;
    ~OdbcConnection() override;
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    // Connects with the settings' fields; the driver comes from the registry, read now. A setting
    // the driver cannot carry is refused with E_INVALIDARG before any attempt.
    void Open(const ConnectionProperties& properties) override;
    // An ODBC connection string used as it stands, with the login timeout in seconds.
    void OpenOdbc(const std::wstring& strOdbcConnectionString, std::int32_t lLoginTimeout);
    // A transaction still open is rolled back.
    void Close() override;
    void BeginTrans() override;
    void CommitTrans() override;
    void RollbackTrans() override;
    std::vector<Error> Errors() const override { return m_errors; }
    RecordsetPtr Execute(Command& command, bool bNoRecords) override;

    bool IsOpen() const { return m_dbc.IsValid(); }

private:
    struct Attempt
    {
        std::wstring strServer; // for the errors of a failed attempt; empty for a raw ODBC string
        std::wstring strOdbcConnectionString;
    };
    void Connect(const std::vector<Attempt>& attempts, std::int32_t lLoginTimeout);
    // One SQLDriverConnectW, broken off when the login timeout has passed; the handle keeps the
    // records of a failure.
    bool TryConnect(SQLHDBC hDbc, const Attempt& attempt, std::int32_t lLoginTimeout,
                    std::vector<DiagnosticRecord>& records);
    bool IsConnectionLost() const;
    void EndTransaction(SQLSMALLINT completionType);
    void RequireOpen();
    [[noreturn]] void Fail(HRESULT hr, std::vector<Error> errors);
    // A failure of this layer's own, with one entry in the errors collection.
    [[noreturn]] void FailWithText(HRESULT hr, std::wstring strDescription);
    [[noreturn]] void FailStatement(const OdbcFailure& failure);
    // The command's kept statement when it can run the command here, else a new one put in its place.
    COdbcPreparedStatement& PreparedStatementFor(Command& command);
    void ReleaseHandles() noexcept;

    // Declared before the connection handle, which must be freed first.
    COdbcEnvironment m_env;
    COdbcConnectionHandle m_dbc;
    std::optional<CDriverSocket> m_socket;                           // the connection's socket, when it could be told
    std::vector<std::weak_ptr<COdbcStatement>> m_preparedStatements; // freed before the connection
    bool m_bInTransaction = false;
    std::vector<Error> m_errors;
};

} // namespace platform::ado::odbc
