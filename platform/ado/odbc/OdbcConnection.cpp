#include "OdbcConnection.h"

#include "Deadline.h"
#include "OdbcConnectionString.h"
#include "OdbcParameters.h"
#include "OdbcStatement.h"
#include "OdbcText.h"
#include "common/ComError.h"
#include "common/StringUtils.h"
#include "platform/Registry.h"

#include <algorithm>

namespace platform::ado::odbc {

namespace {

constexpr const wchar_t* kSource = L"ODBC connection";

SQLPOINTER AttributeValue(SQLULEN value)
{
    return reinterpret_cast<SQLPOINTER>(value);
}

std::vector<Error> ToAdoErrors(const std::vector<DiagnosticRecord>& records, std::wstring_view strWhere = {})
{
    std::vector<Error> errors;
    for (const DiagnosticRecord& record : records)
        errors.push_back(ToAdoError(record, strWhere));
    return errors;
}

} // namespace

OdbcConnection::~OdbcConnection()
{
    if (m_bInTransaction && m_dbc)
        SQLEndTran(SQL_HANDLE_DBC, m_dbc.Get(), SQL_ROLLBACK);
    ReleaseHandles();
}

void OdbcConnection::Open(const ConnectionProperties& properties)
{
    if (IsOpen())
        FailWithText(ADO_E_OBJECT_OPEN, L"The connection is already open.");
    OdbcConnectPlan plan;
    try {
        plan = BuildConnectPlan(properties, ReadOdbcDriverSettings(platform::Registry::LoadMachine()));
    } catch (const COdbcValueRefused& refused) {
        FailWithText(E_INVALIDARG, NarrowToWide(refused.what()));
    }
    std::vector<Attempt> attempts;
    for (const OdbcConnectTarget& target : plan.targets)
        attempts.push_back({target.strServer, target.strOdbcConnectionString});
    Connect(attempts, plan.lLoginTimeout);
}

void OdbcConnection::OpenOdbc(const std::wstring& strOdbcConnectionString, std::int32_t lLoginTimeout)
{
    if (IsOpen())
        FailWithText(ADO_E_OBJECT_OPEN, L"The connection is already open.");
    Connect({Attempt{L"", strOdbcConnectionString}}, lLoginTimeout);
}

void OdbcConnection::Connect(const std::vector<Attempt>& attempts, std::int32_t lLoginTimeout)
{
    std::vector<Error> errors;
    HRESULT hr = E_FAIL;
    try {
        if (!m_env)
            m_env = AllocateEnvironment();
        for (const Attempt& attempt : attempts) {
            COdbcConnectionHandle dbc = AllocateConnection(m_env.Get());
            std::vector<DiagnosticRecord> records;
            if (TryConnect(dbc.Get(), attempt, lLoginTimeout, records)) {
                m_dbc = std::move(dbc);
                m_bInTransaction = false;
                return;
            }
            if (records.empty())
                records.push_back({L"", 0, L"SQLDriverConnectW failed without a diagnostic record"});
            for (Error& error : ToAdoErrors(records, attempt.strServer))
                errors.push_back(std::move(error));
            hr = HResultForConnectFailure(records);
            // The driver knows nothing of a failover partner: the partner is tried only when the
            // principal could not be reached, never after a refused login.
            if (!IsServerUnreachable(records))
                break;
        }
    } catch (const OdbcFailure& failure) {
        for (Error& error : ToAdoErrors(failure.Records()))
            errors.push_back(std::move(error));
        hr = E_FAIL;
    }
    Fail(hr, std::move(errors));
}

bool OdbcConnection::TryConnect(SQLHDBC hDbc, const Attempt& attempt, std::int32_t lLoginTimeout,
                                std::vector<DiagnosticRecord>& records)
{
    const std::int32_t lSeconds = std::max<std::int32_t>(lLoginTimeout, 0);
    SQLSetConnectAttrW(hDbc, SQL_ATTR_LOGIN_TIMEOUT, AttributeValue(static_cast<SQLULEN>(lSeconds)), SQL_IS_UINTEGER);
    SqlWideText text = ToSqlWide(attempt.strOdbcConnectionString);
    const CDriverSocket::Snapshot before = CDriverSocket::TakeSnapshot();
    SQLRETURN rc = SQL_ERROR;
    bool bTimedOut = false;
    {
        // The login is broken off by severing the socket it waits on; none is there before the
        // server has been reached, and then the driver's own timer is still running.
        std::optional<CDeadline> deadline;
        if (lSeconds > 0)
            deadline.emplace(std::vector<CDeadline::Step>{{std::chrono::seconds(lSeconds), [&before] {
                                                               if (const auto socket =
                                                                       CDriverSocket::OpenedSince(before))
                                                                   socket->Sever();
                                                           }}});
        rc = SQLDriverConnectW(hDbc, nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        bTimedOut = deadline && deadline->Passed();
    }
    if (Succeeded(rc)) {
        m_socket = CDriverSocket::OpenedSince(before);
        return true;
    }
    records = ReadDiagnostics(SQL_HANDLE_DBC, hDbc);
    if (bTimedOut)
        records = WithTimeoutFirst(std::move(records), L"Login timeout expired");
    return false;
}

void OdbcConnection::Close()
{
    RequireOpen();
    if (m_bInTransaction)
        SQLEndTran(SQL_HANDLE_DBC, m_dbc.Get(), SQL_ROLLBACK);
    ReleaseHandles();
}

void OdbcConnection::BeginTrans()
{
    RequireOpen();
    if (m_bInTransaction)
        FailWithText(XACT_E_XTIONEXISTS, L"A transaction is already open on this connection.");
    const SQLRETURN rc =
        SQLSetConnectAttrW(m_dbc.Get(), SQL_ATTR_AUTOCOMMIT, AttributeValue(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
    if (!Succeeded(rc))
        FailStatement(
            OdbcFailure("SQLSetConnectAttrW(SQL_ATTR_AUTOCOMMIT)", ReadDiagnostics(SQL_HANDLE_DBC, m_dbc.Get())));
    m_bInTransaction = true;
}

void OdbcConnection::CommitTrans()
{
    EndTransaction(SQL_COMMIT);
}

void OdbcConnection::RollbackTrans()
{
    EndTransaction(SQL_ROLLBACK);
}

void OdbcConnection::EndTransaction(SQLSMALLINT completionType)
{
    RequireOpen();
    if (!m_bInTransaction)
        FailWithText(XACT_E_NOTRANSACTION, L"No transaction is open on this connection.");
    // A failed commit leaves the transaction open, for the caller to roll back.
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_dbc.Get(), completionType);
    if (!Succeeded(rc))
        FailStatement(OdbcFailure("SQLEndTran", ReadDiagnostics(SQL_HANDLE_DBC, m_dbc.Get())));
    rc = SQLSetConnectAttrW(m_dbc.Get(), SQL_ATTR_AUTOCOMMIT, AttributeValue(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
    if (!Succeeded(rc))
        FailStatement(
            OdbcFailure("SQLSetConnectAttrW(SQL_ATTR_AUTOCOMMIT)", ReadDiagnostics(SQL_HANDLE_DBC, m_dbc.Get())));
    m_bInTransaction = false;
}

RecordsetPtr OdbcConnection::Execute(Command& command, bool bNoRecords)
{
    RequireOpen();
    const CDriverSocket* pSocket = m_socket ? &*m_socket : nullptr;
    try {
        if (!command.bPrepared)
            return ExecuteStatement(m_dbc.Get(), command, bNoRecords, pSocket);
        return ExecutePrepared(PreparedStatementFor(command), command, bNoRecords, pSocket);
    } catch (const OdbcFailure& failure) {
        FailStatement(failure);
    } catch (const CCommandRefused& refused) {
        FailWithText(refused.Result(), refused.Description());
    }
}

COdbcPreparedStatement& OdbcConnection::PreparedStatementFor(Command& command)
{
    std::wstring strText = StatementText(command);
    if (auto* pKept = dynamic_cast<COdbcPreparedStatement*>(command.pPreparedStatement.get());
        pKept && pKept->IsFor(this, strText))
        return *pKept;
    auto pStatement = std::make_unique<COdbcPreparedStatement>(m_dbc.Get(), this, std::move(strText));
    COdbcPreparedStatement& statement = *pStatement;
    std::erase_if(m_preparedStatements, [](const std::weak_ptr<COdbcStatement>& p) { return p.expired(); });
    m_preparedStatements.push_back(statement.SharedHandle());
    // The statement kept before, for other text or another connection, goes with its handle.
    command.pPreparedStatement = std::move(pStatement);
    return statement;
}

bool OdbcConnection::IsConnectionLost() const
{
    SQLUINTEGER uDead = SQL_CD_FALSE;
    return m_dbc && Succeeded(SQLGetConnectAttrW(m_dbc.Get(), SQL_ATTR_CONNECTION_DEAD, &uDead, 0, nullptr)) &&
           uDead == SQL_CD_TRUE;
}

void OdbcConnection::RequireOpen()
{
    if (!IsOpen())
        FailWithText(ADO_E_OBJECT_CLOSED, L"The connection is not open.");
}

void OdbcConnection::Fail(HRESULT hr, std::vector<Error> errors)
{
    m_errors = std::move(errors);
    throw UTIL::COM::_com_error(hr);
}

void OdbcConnection::FailWithText(HRESULT hr, std::wstring strDescription)
{
    Fail(hr, {Error{0, kSource, std::move(strDescription)}});
}

void OdbcConnection::FailStatement(const OdbcFailure& failure)
{
    std::vector<DiagnosticRecord> records = failure.Records();
    if (records.empty())
        records.push_back({L"", 0, NarrowToWide(failure.what())});
    Fail(HResultForStatementFailure(records, IsConnectionLost()), ToAdoErrors(records));
}

void OdbcConnection::ReleaseHandles() noexcept
{
    for (const std::weak_ptr<COdbcStatement>& pKept : m_preparedStatements) {
        if (const std::shared_ptr<COdbcStatement> pStatement = pKept.lock())
            pStatement->Reset();
    }
    m_preparedStatements.clear();
    m_dbc.Reset();
    m_socket.reset();
    m_env.Reset();
    m_bInTransaction = false;
}

} // namespace platform::ado::odbc
