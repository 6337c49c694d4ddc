#include "ServiceConfig.h"

#include "common/StringUtils.h"

#include <cwctype>
#include <fstream>
#include <iterator>

namespace Velmorasvc {
namespace {

std::wstring_view Trimmed(std::wstring_view str)
{
    while (!str.empty() && std::iswspace(static_cast<wint_t>(str.front())))
        str.remove_prefix(1);
    while (!str.empty() && std::iswspace(static_cast<wint_t>(str.back())))
        str.remove_suffix(1);
    return str;
}

std::wstring Lower(std::wstring_view str)
{
    std::wstring strLower(str);
    for (wchar_t& wch : strLower)
        wch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(wch)));
    return strLower;
}

} // namespace

std::optional<CConfigValues> CConfigValues::Parse(std::wstring_view strText, int& iBadLine)
{
    CConfigValues values;
    int iLine = 0;
    while (!strText.empty()) {
        ++iLine;
        const std::size_t iEnd = strText.find(L'\n');
        const std::wstring_view strLine = Trimmed(strText.substr(0, iEnd));
        strText.remove_prefix(iEnd == std::wstring_view::npos ? strText.size() : iEnd + 1);
        if (strLine.empty() || strLine.front() == L'#')
            continue;
        const std::size_t iEquals = strLine.find(L'=');
        const std::wstring_view strName = Trimmed(strLine.substr(0, iEquals));
        if (iEquals == std::wstring_view::npos || strName.empty()) {
            iBadLine = iLine;
            return std::nullopt;
        }
        values.m_values[Lower(strName)] = Trimmed(strLine.substr(iEquals + 1));
    }
    return values;
}

std::optional<std::wstring> CConfigValues::Find(std::wstring_view strName) const
{
    const auto it = m_values.find(Lower(strName));
    return it == m_values.end() ? std::nullopt : std::optional(it->second);
}

std::optional<ServiceSettings> LoadServiceSettings(const std::filesystem::path& file, std::string& strError)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        strError = "cannot read " + file.string();
        return std::nullopt;
    }
    ServiceSettings settings;
    settings.strText =
        NarrowToWide(std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()));
    int iBadLine = 0;
    const std::optional<CConfigValues> values = CConfigValues::Parse(settings.strText, iBadLine);
    if (!values) {
        strError = file.string() + ": line " + std::to_string(iBadLine) + " is not Name=Value";
        return std::nullopt;
    }
    for (const auto& [strName, pPath] :
         {std::pair{kQuarantineFolderName, &settings.quarantineFolder}, std::pair{kDatabaseName, &settings.database}}) {
        const std::optional<std::wstring> strValue = values->Find(strName);
        if (!strValue || strValue->empty()) {
            strError = file.string() + " names no " + WideToNarrow(strName);
            return std::nullopt;
        }
        *pPath = WideToNarrow(*strValue);
    }
    if (const std::optional<std::wstring> strGate = values->Find(kImportGateName); strGate && !strGate->empty())
        settings.importGate = WideToNarrow(*strGate);
    return settings;
}

} // namespace Velmorasvc
