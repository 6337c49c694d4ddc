#include "OdbcConnectionString.h"

#include "platform/ado/odbc/OdbcDriverLibrary.h"

#include "common/CharacterClass.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"

#include <algorithm>

namespace platform::ado::odbc {

namespace {

using UTIL::STR::EqualsNoCase;

bool IsBlank(wchar_t c)
{
    return UTIL::STR::IsSpace(c);
}

std::wstring_view Trim(std::wstring_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::wstring_view TrimSeparators(std::wstring_view s)
{
    s = Trim(s);
    while (!s.empty() && s.front() == L';')
        s = Trim(s.substr(1));
    while (!s.empty() && s.back() == L';')
        s = Trim(s.substr(0, s.size() - 1));
    return s;
}

bool ContainsNoCase(std::wstring_view haystack, std::wstring_view needle)
{
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (EqualsNoCase(haystack.substr(i, needle.size()), needle))
            return true;
    }
    return false;
}

// A data source as the driver names the server: "host", "host\instance" or "host,port", with
// the names Windows gives this computer turned into one the resolver knows.
std::wstring DriverServerName(std::wstring_view dataSource)
{
    if (dataSource.size() >= 4 && EqualsNoCase(dataSource.substr(0, 4), L"tcp:"))
        dataSource.remove_prefix(4);
    const std::size_t suffix = std::min(dataSource.find(L'\\'), dataSource.find(L','));
    const std::wstring_view host = Trim(dataSource.substr(0, suffix));
    const std::wstring_view rest = suffix == std::wstring_view::npos ? std::wstring_view() : dataSource.substr(suffix);
    if (host.empty() || host == L"." || EqualsNoCase(host, L"(local)"))
        return L"localhost" + std::wstring(rest);
    return std::wstring(host) + std::wstring(rest);
}

// One "keyword=value;" clause; the ";" ends every clause, as FreeTDS needs it after a value in
// braces.
void AddClause(std::wstring& str, std::wstring_view keyword, std::wstring_view value, const wchar_t* wszWhat,
               const OdbcDriverSettings& settings)
{
    const std::optional<std::wstring> quoted = QuoteOdbcValue(value, settings.quoting);
    if (!quoted)
        throw COdbcValueRefused(WideToNarrow(
            FormatW(L"The %ls holds characters that the ODBC driver %ls cannot take in a connection string.", wszWhat,
                    settings.strDriver.c_str())));
    str.append(keyword).append(L"=").append(*quoted).append(L";");
}

std::wstring OdbcConnectionString(const std::wstring& strServer, const ConnectionProperties& properties,
                                  const OdbcDriverSettings& settings)
{
    std::wstring str = L"DRIVER={";
    for (const wchar_t c : settings.strDriver) {
        str += c;
        if (c == L'}')
            str += L'}';
    }
    str += L"};";
    AddClause(str, L"Server", strServer, L"server name", settings);
    if (properties.bIntegratedSecurity) {
        str += L"Trusted_Connection=Yes;";
    } else {
        AddClause(str, L"UID", properties.strUserId, L"user name", settings);
        AddClause(str, L"PWD", properties.strPassword, L"password", settings);
    }
    if (!properties.strInitialCatalog.empty())
        AddClause(str, L"Database", properties.strInitialCatalog, L"database name", settings);

    const std::wstring_view options = TrimSeparators(settings.strDriverOptions);
    str += options;
    if (settings.quoting == OdbcQuoting::FreeTds && !ContainsNoCase(options, L"TDS_Version"))
        str += (options.empty() ? L"" : L";") + std::wstring(kDefaultDriverOptions);
    return str;
}

OdbcQuoting QuotingOfDriver(std::wstring_view driverName)
{
    const std::filesystem::path library = OdbcDriverLibrary(driverName);
    const bool bFreeTds = library.empty() ? EqualsNoCase(driverName, kDefaultDriver) : IsFreeTdsLibrary(library);
    return bFreeTds ? OdbcQuoting::FreeTds : OdbcQuoting::Standard;
}

} // namespace

OdbcDriverSettings ReadOdbcDriverSettings(const platform::Registry& registry)
{
    OdbcDriverSettings settings;
    RegistryKey key;
    if (registry.OpenKey(kOdbcSettingsKey, key) != ERROR_SUCCESS)
        return settings;
    if (std::optional<std::wstring> strDriver = key.ReadString(L"Driver", 1024);
        strDriver && !Trim(*strDriver).empty()) {
        settings.strDriver = std::wstring(Trim(*strDriver));
        settings.quoting = QuotingOfDriver(settings.strDriver);
        // The default options are FreeTDS's; another driver gets none unless they are named.
        if (settings.quoting != OdbcQuoting::FreeTds)
            settings.strDriverOptions.clear();
    }
    if (std::optional<std::wstring> strOptions = key.ReadString(L"DriverOptions", 4096))
        settings.strDriverOptions = std::move(*strOptions);
    return settings;
}

std::optional<std::wstring> QuoteOdbcValue(std::wstring_view value, OdbcQuoting quoting)
{
    if (quoting == OdbcQuoting::FreeTds) {
        if (value.find(L';') == std::wstring_view::npos && !value.starts_with(L'{'))
            return std::wstring(value);
        if (value.find(L"};") != std::wstring_view::npos)
            return std::nullopt;
        return L"{" + std::wstring(value) + L"}";
    }
    const bool bNeedsBraces = value.find_first_of(L";{}=") != std::wstring_view::npos ||
                              (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
    if (!bNeedsBraces)
        return std::wstring(value);
    std::wstring quoted = L"{";
    for (const wchar_t c : value) {
        quoted += c;
        if (c == L'}')
            quoted += L'}';
    }
    quoted += L'}';
    return quoted;
}

OdbcConnectPlan BuildConnectPlan(const ConnectionProperties& properties, const OdbcDriverSettings& settings)
{
    OdbcConnectPlan plan;
    plan.lLoginTimeout = properties.lConnectTimeout < 0 ? kDefaultLoginTimeout : properties.lConnectTimeout;
    plan.targets.push_back({properties.strDataSource,
                            OdbcConnectionString(DriverServerName(properties.strDataSource), properties, settings)});
    if (!properties.strFailoverPartner.empty())
        plan.targets.push_back(
            {properties.strFailoverPartner,
             OdbcConnectionString(DriverServerName(properties.strFailoverPartner), properties, settings)});
    return plan;
}

} // namespace platform::ado::odbc
