#include "ServerRules.h"

#include "RuleText.h"
#include "common/StringUtils.h"

#include <cwchar>
#include <stdexcept>

namespace TdsServer {
namespace {

ServerAnswer ParseAnswer(bool bProcedure, const std::vector<std::wstring>& fields)
{
    ServerAnswer answer;
    const std::wstring& strKind = fields[2];
    if (strKind == L"rows" && fields.size() >= 4) {
        answer.kind = ServerAnswer::Kind::Rows;
        answer.columns = SplitRuleFields(fields[3], L',');
        for (std::size_t i = 4; i < fields.size(); ++i)
            answer.rows.push_back(ParseRuleValues(fields[i]));
    } else if (strKind == L"out" && bProcedure && fields.size() == 4) {
        answer.kind = ServerAnswer::Kind::Outputs;
        answer.outputs = ParseRuleValues(fields[3]);
        if (answer.outputs.front().Type() != platform::VT_I4)
            throw std::runtime_error("rules: a return status that is not I4");
    } else if (strKind == L"drop" && fields.size() == 3) {
        answer.kind = ServerAnswer::Kind::Drop;
    } else if ((strKind == L"error" || strKind == L"info") && fields.size() == 5) {
        answer.kind = strKind == L"error" ? ServerAnswer::Kind::Error : ServerAnswer::Kind::Info;
        answer.lNumber = static_cast<std::int32_t>(std::wcstol(fields[3].c_str(), nullptr, 10));
        answer.strMessage = fields[4];
    } else {
        throw std::runtime_error("rules: bad answer " + WideToNarrow(strKind));
    }
    return answer;
}

} // namespace

CServerRules CServerRules::Load(const std::filesystem::path& rulesFile)
{
    CServerRules rules;
    for (const RuleLine& line : ReadRuleLines(rulesFile)) {
        const std::vector<std::wstring>& fields = line.fields;
        if (fields[0] == L"login" && fields.size() == 3)
            rules.m_logins.emplace_back(fields[1], fields[2]);
        else if (fields[0] == L"pace" && fields.size() == 3 && (fields[1] == L"login" || fields[1] == L"answers"))
            (fields[1] == L"login" ? rules.m_loginPace : rules.m_answerPace) =
                std::chrono::milliseconds(std::wcstol(fields[2].c_str(), nullptr, 10));
        else if ((fields[0] == L"sql" || fields[0] == L"rpc") && fields.size() >= 3)
            rules.m_rules.push_back({fields[0] == L"rpc", fields[1], ParseAnswer(fields[0] == L"rpc", fields)});
        else
            throw std::runtime_error("rules: cannot read the line: " + line.strText);
    }
    return rules;
}

bool CServerRules::AcceptsLogin(const std::wstring& strUser, const std::wstring& strPassword) const
{
    for (const auto& [strAcceptedUser, strAcceptedPassword] : m_logins) {
        if (strAcceptedUser == strUser && strAcceptedPassword == strPassword)
            return true;
    }
    return false;
}

std::optional<ServerAnswer> CServerRules::ForBatch(const std::wstring& strText) const
{
    return Find(false, strText);
}

std::optional<ServerAnswer> CServerRules::ForProcedure(const std::wstring& strName) const
{
    return Find(true, strName);
}

std::optional<ServerAnswer> CServerRules::Find(bool bProcedure, const std::wstring& strText) const
{
    for (const Rule& rule : m_rules) {
        if (rule.bProcedure == bProcedure && strText.starts_with(rule.strPattern))
            return rule.answer;
    }
    return std::nullopt;
}

} // namespace TdsServer
