#include "RuleText.h"

#include "common/StringUtils.h"

#include <cwchar>
#include <fstream>
#include <stdexcept>

namespace TdsServer {

using platform::DateTime;
using platform::Variant;

std::vector<std::wstring> SplitRuleFields(std::wstring_view text, wchar_t separator)
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

std::vector<RuleLine> ReadRuleLines(const std::filesystem::path& rulesFile)
{
    std::ifstream file(rulesFile);
    if (!file)
        throw std::runtime_error("rules: cannot read " + rulesFile.string());
    std::vector<RuleLine> lines;
    std::string strLine;
    while (std::getline(file, strLine)) {
        if (!strLine.empty() && strLine.front() != '#')
            lines.push_back({strLine, SplitRuleFields(NarrowToWide(strLine))});
    }
    return lines;
}

Variant ParseRuleValue(const std::wstring& strValue)
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
    throw std::runtime_error("rules: bad value " + WideToNarrow(strValue));
}

std::vector<Variant> ParseRuleValues(const std::wstring& strValues)
{
    std::vector<Variant> values;
    for (const std::wstring& strValue : SplitRuleFields(strValues, L','))
        values.push_back(ParseRuleValue(strValue));
    return values;
}

} // namespace TdsServer
