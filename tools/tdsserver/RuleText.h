#pragma once
// The text of the rules files: lines of fields separated by "|", values written I4:<n>,
// BSTR:<text>, DATE:<yyyy-mm-dd hh:mm:ss> or NULL.

#include "platform/Variant.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace TdsServer {

struct RuleLine
{
    std::string strText; // as the file holds it, for messages
    std::vector<std::wstring> fields;
};
// The lines of a rules file that are neither empty nor comments ("#" first); throws
// std::runtime_error when the file cannot be read.
std::vector<RuleLine> ReadRuleLines(const std::filesystem::path& rulesFile);

std::vector<std::wstring> SplitRuleFields(std::wstring_view text, wchar_t separator = L'|');
// Throws std::runtime_error for a value of no known form.
platform::Variant ParseRuleValue(const std::wstring& strValue);
// Values separated by ",".
std::vector<platform::Variant> ParseRuleValues(const std::wstring& strValues);

} // namespace TdsServer
