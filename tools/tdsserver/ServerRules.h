#pragma once
// What the TDS test server answers, from a rules file. One rule per line, fields separated by
// "|", "#" starts a comment; values are I4:<n>, BSTR:<text>, DATE:<yyyy-mm-dd hh:mm:ss> or NULL:
//   login|<user>|<password>                       a login that is accepted; every other is refused
//   sql|<start of the batch>|rows|<column>,...|<value>,...|...
//   sql|<start of the batch>|error|<number>|<message>
//   sql|<start of the batch>|info|<number>|<message>
//   rpc|<start of the procedure name>|out|<return status>,<output value>,...
//   rpc|<start of the procedure name>|rows|...    (and error, info)
//   sql|<start of the batch>|drop                 the connection is closed instead of an answer
//   pace|login|<milliseconds>                      the answers to pre-login and login, and
//   pace|answers|<milliseconds>                    to batches and calls, go out one byte at a
//                                                 time with that pause between bytes
// The first rule that matches answers. A batch or call that no rule matches succeeds without a
// result set.

#include "platform/Variant.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace TdsServer {

struct ServerAnswer
{
    enum class Kind { Rows, Outputs, Error, Info, Drop };
    Kind kind = Kind::Rows;
    std::vector<std::wstring> columns;                // Rows
    std::vector<std::vector<platform::Variant>> rows; // Rows
    std::vector<platform::Variant> outputs;           // Outputs: the return status, then output values
    std::int32_t lNumber = 0;                         // Error, Info
    std::wstring strMessage;                          // Error, Info
};

class CServerRules
{
public:
    // Throws std::runtime_error for a file that cannot be read or a line it does not understand.
    static CServerRules Load(const std::filesystem::path& rulesFile);

    bool AcceptsLogin(const std::wstring& strUser, const std::wstring& strPassword) const;
    std::optional<ServerAnswer> ForBatch(const std::wstring& strText) const;
    std::optional<ServerAnswer> ForProcedure(const std::wstring& strName) const;
    // The pause between the bytes of an answer; zero sends each message at once.
    std::chrono::milliseconds LoginPace() const { return m_loginPace; }
    std::chrono::milliseconds AnswerPace() const { return m_answerPace; }

private:
    struct Rule
    {
        bool bProcedure;
        std::wstring strPattern;
        ServerAnswer answer;
    };
    std::optional<ServerAnswer> Find(bool bProcedure, const std::wstring& strText) const;

    std::vector<std::pair<std::wstring, std::wstring>> m_logins;
    std::vector<Rule> m_rules;
    std::chrono::milliseconds m_loginPace{0};
    std::chrono::milliseconds m_answerPace{0};
};

} // namespace TdsServer
