// The rules file of the fake provider.

#include "FakeProvider.h"
#include "RuleText.h"

#include "common/StringUtils.h"

#include <cwchar>
#include <stdexcept>

namespace platform::ado {
namespace {

FakeReply ParseReply(const std::vector<std::wstring>& fields)
{
    FakeReply reply;
    const std::wstring& strKind = fields[2];
    if (strKind == L"fail" && fields.size() == 6) {
        reply.hrFailure = static_cast<HRESULT>(std::wcstoul(fields[3].c_str(), nullptr, 16));
        reply.errors.push_back(ServerError(static_cast<std::int32_t>(std::wcstol(fields[4].c_str(), nullptr, 10)), fields[5]));
    } else if (strKind == L"rows" && fields.size() >= 4) {
        std::vector<std::vector<Variant>> rows;
        for (std::size_t i = 4; i < fields.size(); ++i)
            rows.push_back(ParseRuleValues(fields[i]));
        reply.recordset = Recordset(SplitRuleFields(fields[3], L','), std::move(rows));
    } else if (strKind == L"out" && fields.size() == 4) {
        reply.outputs = ParseRuleValues(fields[3]);
    } else {
        throw std::runtime_error("SQL rules: bad reply " + WideToNarrow(strKind));
    }
    return reply;
}

} // namespace

std::shared_ptr<CFakeProvider> LoadScriptedProvider(const std::filesystem::path& rulesFile)
{
    auto pProvider = std::make_shared<CFakeProvider>();
    for (const RuleLine& line : ReadRuleLines(rulesFile)) {
        const std::vector<std::wstring>& fields = line.fields;
        if (fields[0] == L"log" && fields.size() == 2)
            pProvider->WriteLogTo(std::filesystem::path(WideToNarrow(fields[1])));
        else if ((fields[0] == L"open" || fields[0] == L"exec") && fields.size() >= 4)
            pProvider->AddRule(fields[0] == L"open" ? FakeCall::Open : FakeCall::Execute, fields[1], ParseReply(fields));
        else
            throw std::runtime_error("SQL rules: cannot read the line: " + line.strText);
    }
    return pProvider;
}

} // namespace platform::ado
