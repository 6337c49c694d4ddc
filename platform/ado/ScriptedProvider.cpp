// The rules file of the fake provider.

#include "FakeProvider.h"

#include "common/StringUtils.h"

#include <cwchar>
#include <fstream>
#include <stdexcept>

namespace platform::ado {
namespace {

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start));
        if (end == std::wstring_view::npos)
            return parts;
        start = end + 1;
    }
}

Variant ParseValue(const std::wstring& strValue)
{
    if (strValue == L"NULL")
        return Variant::Null();
    if (strValue.starts_with(L"I4:"))
        return Variant::Int32(static_cast<std::int32_t>(std::wcstol(strValue.c_str() + 3, nullptr, 10)));
    if (strValue.starts_with(L"BSTR:"))
        return Variant::String(strValue.substr(5));
    DateTime date;
    if (strValue.starts_with(L"DATE:") &&
        std::swscanf(strValue.c_str() + 5, L"%d-%d-%d %d:%d:%d", &date.iYear, &date.iMonth, &date.iDay, &date.iHour,
                     &date.iMinute, &date.iSecond) == 6)
        return Variant::Date(date);
    throw std::runtime_error("SQL rules: bad value " + WideToNarrow(strValue));
}

std::vector<Variant> ParseValues(const std::wstring& strValues)
{
    std::vector<Variant> values;
    for (const std::wstring& strValue : Split(strValues, L','))
        values.push_back(ParseValue(strValue));
    return values;
}

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
            rows.push_back(ParseValues(fields[i]));
        reply.recordset = Recordset(Split(fields[3], L','), std::move(rows));
    } else if (strKind == L"out" && fields.size() == 4) {
        reply.outputs = ParseValues(fields[3]);
    } else {
        throw std::runtime_error("SQL rules: bad reply " + WideToNarrow(strKind));
    }
    return reply;
}

} // namespace

std::shared_ptr<CFakeProvider> LoadScriptedProvider(const std::filesystem::path& rulesFile)
{
    std::ifstream file(rulesFile);
    if (!file)
        throw std::runtime_error("SQL rules: cannot read " + rulesFile.string());
    auto pProvider = std::make_shared<CFakeProvider>();
    std::string strLine;
    while (std::getline(file, strLine)) {
        if (strLine.empty() || strLine.front() == '#')
            continue;
        const std::vector<std::wstring> fields = Split(NarrowToWide(strLine), L'|');
        if (fields[0] == L"log" && fields.size() == 2)
            pProvider->WriteLogTo(std::filesystem::path(WideToNarrow(fields[1])));
        else if ((fields[0] == L"open" || fields[0] == L"exec") && fields.size() >= 4)
            pProvider->AddRule(fields[0] == L"open" ? FakeCall::Open : FakeCall::Execute, fields[1], ParseReply(fields));
        else
            throw std::runtime_error("SQL rules: cannot read the line: " + strLine);
    }
    return pProvider;
}

} // namespace platform::ado
