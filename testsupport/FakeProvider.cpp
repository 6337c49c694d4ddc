#include "testsupport/FakeProvider.h"

#include "common/ComError.h"
#include "common/StringUtils.h"

namespace testsupport {

using namespace platform::ado;
using platform::Variant;

namespace {

// The connection string with the password clause's whole value shown as ***. The password is
// known as a field of its own, so its clause is found as written, however many ";" it holds; it
// is the last one, as the clauses after it (timeout, catalog) hold no "=" in their values.
std::wstring HidePassword(const ConnectionProperties& properties)
{
    std::wstring str = properties.strConnectionString;
    if (properties.bIntegratedSecurity)
        return str;
    constexpr std::wstring_view kClause = L"Password=";
    const std::size_t start = str.rfind(std::wstring(kClause) + properties.strPassword);
    if (start != std::wstring::npos)
        str.replace(start + kClause.size(), properties.strPassword.size(), L"***");
    return str;
}

const wchar_t* DirectionName(ParameterDirection direction)
{
    switch (direction) {
    case ParameterDirection::Input:
        return L"input";
    case ParameterDirection::Output:
        return L"output";
    case ParameterDirection::ReturnValue:
        return L"return";
    }
    return L"?";
}

const wchar_t* TypeName(DataType type)
{
    switch (type) {
    case DataType::Integer:
        return L"integer";
    case DataType::BigInt:
        return L"bigint";
    case DataType::DBTimeStamp:
        return L"timestamp";
    case DataType::VarWChar:
        return L"text";
    case DataType::VarBinary:
        return L"binary";
    }
    return L"?";
}

class CFakeConnection : public Connection
{
public:
    explicit CFakeConnection(CFakeProvider& provider) : m_provider(provider) {}

    void Open(const ConnectionProperties& properties) override
    {
        m_provider.Record(L"Open: " + HidePassword(properties));
        m_provider.RecordConnection(properties);
        Apply(m_provider.Answer(FakeCall::Open, properties.strConnectionString));
        m_bOpen = true;
    }
    void Close() override
    {
        m_provider.Record(L"Close");
        m_bOpen = false;
    }
    void BeginTrans() override { Transaction(L"BeginTrans"); }
    void CommitTrans() override { Transaction(L"CommitTrans"); }
    void RollbackTrans() override { Transaction(L"RollbackTrans"); }
    std::vector<Error> Errors() const override { return m_errors; }

    RecordsetPtr Execute(Command& command, bool bNoRecords) override
    {
        RequireOpen();
        std::wstring strLine = FormatW(
            L"Execute %ls %ls timeout=%d: %ls", command.commandType == CommandType::Text ? L"Text" : L"StoredProcedure",
            bNoRecords ? L"no records" : L"records", command.lCommandTimeout, command.strCommandText.c_str());
        for (const ParameterPtr& pParameter : command.parameters) {
            strLine += FormatW(L"\n  param %ls %ls %ls %d", pParameter->strName.c_str(),
                               DirectionName(pParameter->direction), TypeName(pParameter->type), pParameter->lSize);
            if (pParameter->direction == ParameterDirection::Input)
                strLine += L" " + pParameter->value.Describe();
        }
        m_provider.Record(std::move(strLine));
        FakeReply reply = m_provider.Answer(FakeCall::Execute, command.strCommandText);
        Apply(reply);
        for (std::size_t i = 0; i < command.parameters.size() && i < reply.outputs.size(); ++i)
            command.parameters[i]->value = reply.outputs[i];
        if (bNoRecords || reply.bNoResultSet)
            return nullptr;
        return std::make_shared<Recordset>(reply.recordset ? std::move(*reply.recordset) : Recordset({}, {}));
    }

private:
    void RequireOpen() const
    {
        if (!m_bOpen)
            throw UTIL::COM::_com_error(ADO_E_OBJECT_CLOSED);
    }
    void Transaction(const wchar_t* wszCall)
    {
        RequireOpen();
        m_provider.Record(wszCall);
    }
    void Apply(const FakeReply& reply)
    {
        if (FAILED(reply.hrFailure)) {
            m_errors = reply.errors;
            throw UTIL::COM::_com_error(reply.hrFailure);
        }
    }

    CFakeProvider& m_provider;
    bool m_bOpen = false;
    std::vector<Error> m_errors;
};

} // namespace

void CFakeProvider::AddRule(FakeCall call, std::wstring strPattern, FakeReply reply, unsigned uTimes)
{
    const std::lock_guard guard(m_lock);
    m_rules.push_back({call, std::move(strPattern), std::move(reply), uTimes});
}

std::vector<std::wstring> CFakeProvider::Log() const
{
    const std::lock_guard guard(m_lock);
    return m_log;
}

std::vector<std::wstring> CFakeProvider::Statements() const
{
    const std::lock_guard guard(m_lock);
    return m_statements;
}

std::vector<ConnectionProperties> CFakeProvider::Connections() const
{
    const std::lock_guard guard(m_lock);
    return m_connections;
}

void CFakeProvider::RecordConnection(const ConnectionProperties& properties)
{
    const std::lock_guard guard(m_lock);
    m_connections.push_back(properties);
}

ConnectionPtr CFakeProvider::CreateConnection()
{
    return std::make_shared<CFakeConnection>(*this);
}

FakeReply CFakeProvider::Answer(FakeCall call, const std::wstring& strText)
{
    const std::lock_guard guard(m_lock);
    if (call == FakeCall::Execute)
        m_statements.push_back(strText);
    for (auto it = m_rules.begin(); it != m_rules.end(); ++it) {
        const bool bMatches = call == FakeCall::Open ? strText.find(it->strPattern) != std::wstring::npos
                                                     : strText.starts_with(it->strPattern);
        if (it->call != call || !bMatches)
            continue;
        FakeReply reply = it->reply;
        if (it->uTimesLeft == 1)
            m_rules.erase(it);
        else if (it->uTimesLeft > 1)
            --it->uTimesLeft;
        return reply;
    }
    return {};
}

void CFakeProvider::Record(std::wstring strLine)
{
    const std::lock_guard guard(m_lock);
    m_log.push_back(std::move(strLine));
}

Error ServerError(std::int32_t lNumber, std::wstring strDescription)
{
    return {lNumber, L"Microsoft OLE DB Provider for SQL Server", std::move(strDescription)};
}

} // namespace testsupport
