#pragma once
// A provider that answers from rules instead of a server and keeps a log of every call, in order,
// with every statement's text and every parameter. Tests say what the server answers and read
// what the library sent.

#include "platform/ado/Ado.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// What the fake answers to one call.
struct FakeReply
{
    HRESULT hrFailure = S_OK;                          // a failure to throw, after filling the errors
    std::vector<platform::ado::Error> errors;          // the errors collection of a failure
    std::optional<platform::ado::Recordset> recordset; // the result set of a query (default: one without rows)
    bool bNoResultSet = false;                         // the statement produced no result set at all
    std::vector<platform::Variant> outputs;            // values of the return value and output parameters, in order
};

enum class FakeCall { Open, Execute };

class CFakeProvider : public platform::ado::Provider
{
public:
    // The first rule whose pattern matches answers: for Open, a part of the connection string;
    // for Execute, the start of the command text. A rule answers a limited number of calls
    // (zero: every call). Calls that no rule matches succeed; a query then answers no rows.
    void AddRule(FakeCall call, std::wstring strPattern, FakeReply reply, unsigned uTimes = 0);

    // One line per call: "Open: <string>" (the password shown as ***), "Close", "BeginTrans",
    // "CommitTrans", "RollbackTrans", "Execute <Text|StoredProcedure> <records|no records>
    // timeout=<s>: <text>" followed by one "  param <name> <direction> <type> <size>" line per
    // parameter.
    std::vector<std::wstring> Log() const;
    // Every command text sent, in order.
    std::vector<std::wstring> Statements() const;
    // What every Open was given, in order.
    std::vector<platform::ado::ConnectionProperties> Connections() const;

    platform::ado::ConnectionPtr CreateConnection() override;

    // Used by the fake's connections.
    FakeReply Answer(FakeCall call, const std::wstring& strText);
    void RecordConnection(const platform::ado::ConnectionProperties& properties);
    void Record(std::wstring strLine);

private:
    struct Rule
    {
        FakeCall call;
        std::wstring strPattern;
        FakeReply reply;
        unsigned uTimesLeft; // zero: unlimited
    };
    mutable std::mutex m_lock;
    std::vector<Rule> m_rules;
    std::vector<std::wstring> m_log;
    std::vector<std::wstring> m_statements;
    std::vector<platform::ado::ConnectionProperties> m_connections;
};

// An error of the errors collection as SQL Server gives it through the driver.
platform::ado::Error ServerError(std::int32_t lNumber, std::wstring strDescription);

} // namespace testsupport
