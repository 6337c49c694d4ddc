#pragma once
// The substitute service's configuration file: "Name=Value" lines.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace Velmorasvc {

// The values of a configuration text, by name without regard to case.
class CConfigValues
{
public:
    // Blank lines and lines that start with '#' say nothing; every other line is Name=Value, the
    // blanks around both trimmed, the last of a name winning. Nothing, with the number of the first
    // line that is neither (counting from 1), when the text is not a configuration.
    static std::optional<CConfigValues> Parse(std::wstring_view strText, int& iBadLine);

    std::optional<std::wstring> Find(std::wstring_view strName) const;

private:
    std::map<std::wstring, std::wstring> m_values;
};

inline constexpr std::wstring_view kQuarantineFolderName = L"QuarantineFolder";
inline constexpr std::wstring_view kDatabaseName = L"Database";
inline constexpr std::wstring_view kImportGateName = L"ImportGate";

struct ServiceSettings
{
    std::wstring strText;
    std::filesystem::path quarantineFolder;
    std::filesystem::path database;
    std::optional<std::filesystem::path> importGate; // the named pipe that holds the imports, for tests
};

// Reads the configuration file, which must name the quarantine folder and the database file, and
// may name an import gate. Nothing, with what is wrong in strError, otherwise.
std::optional<ServiceSettings> LoadServiceSettings(const std::filesystem::path& file, std::string& strError);

} // namespace Velmorasvc
