#include "ConnectionStringTranslation.h"

#include "common/StringUtils.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cwctype>
#include <optional>

namespace platform::ado::odbc {

namespace {

using UTIL::STR::EqualsNoCase;

// The clauses an OLE DB string for SQL Server may carry, by what they mean; every name ADO takes
// for the same thing maps to one meaning.
enum class ClauseKind {
    Provider,
    DataSource,
    FailoverPartner,
    Trusted,
    UserId,
    Password,
    ConnectTimeout,
    InitialCatalog
};

struct ClauseName
{
    std::wstring_view name;
    ClauseKind kind;
};

constexpr std::array<ClauseName, 18> kClauseNames{{
    {L"Provider", ClauseKind::Provider},
    {L"Data Source", ClauseKind::DataSource},
    {L"Server", ClauseKind::DataSource},
    {L"Address", ClauseKind::DataSource},
    {L"Addr", ClauseKind::DataSource},
    {L"Network Address", ClauseKind::DataSource},
    {L"Failover Partner", ClauseKind::FailoverPartner},
    {L"Trusted_Connection", ClauseKind::Trusted},
    {L"Integrated Security", ClauseKind::Trusted},
    {L"User ID", ClauseKind::UserId},
    {L"UID", ClauseKind::UserId},
    {L"Password", ClauseKind::Password},
    {L"PWD", ClauseKind::Password},
    {L"Connect Timeout", ClauseKind::ConnectTimeout},
    {L"Connection Timeout", ClauseKind::ConnectTimeout},
    {L"Timeout", ClauseKind::ConnectTimeout},
    {L"Initial Catalog", ClauseKind::InitialCatalog},
    {L"Database", ClauseKind::InitialCatalog},
}};

std::wstring_view Trim(std::wstring_view s)
{
    while (!s.empty() && std::iswspace(static_cast<wint_t>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::iswspace(static_cast<wint_t>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::optional<ClauseKind> KindOfName(std::wstring_view name)
{
    name = Trim(name);
    for (const ClauseName& known : kClauseNames) {
        if (EqualsNoCase(name, known.name))
            return known.kind;
    }
    return std::nullopt;
}

std::optional<ClauseKind> KindOfSegment(std::wstring_view segment)
{
    const std::size_t equals = segment.find(L'=');
    if (equals == std::wstring_view::npos)
        return std::nullopt;
    return KindOfName(segment.substr(0, equals));
}

// The clauses that matter, each the last of its kind as OLE DB takes them. The string is not
// escaped, so a ";" inside a user name or password would cut the value: a segment that does not
// start a known clause is taken as the rest of such a value.
struct Clauses
{
    std::optional<std::wstring> values[8];
    std::optional<std::wstring>& operator[](ClauseKind kind) { return values[static_cast<int>(kind)]; }
};

Clauses ParseClauses(std::wstring_view str)
{
    Clauses clauses;
    std::optional<ClauseKind> lastKind;
    std::size_t start = 0;
    while (start <= str.size()) {
        std::size_t end = str.find(L';', start);
        if (end == std::wstring_view::npos)
            end = str.size();
        const std::wstring_view segment = str.substr(start, end - start);
        start = end + 1;

        const std::optional<ClauseKind> kind = KindOfSegment(segment);
        if (!kind && (lastKind == ClauseKind::Password || lastKind == ClauseKind::UserId)) {
            *clauses[*lastKind] += L';';
            *clauses[*lastKind] += segment;
            continue;
        }
        lastKind = kind;
        if (!kind)
            continue;
        std::wstring_view value = segment.substr(segment.find(L'=') + 1);
        if (*kind != ClauseKind::Password)
            value = Trim(value);
        clauses[*kind] = std::wstring(value);
    }
    return clauses;
}

bool IsYes(std::wstring_view value)
{
    return EqualsNoCase(value, L"Yes") || EqualsNoCase(value, L"True") || EqualsNoCase(value, L"SSPI");
}

// A Data Source as the driver names the server: "host", "host\instance" or "host,port", with
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

std::int32_t LoginTimeout(const std::optional<std::wstring>& value)
{
    if (!value)
        return kDefaultLoginTimeout;
    const std::string strNumber = WideToNarrow(*value);
    std::int32_t lTimeout = 0;
    const auto [ptr, ec] = std::from_chars(strNumber.data(), strNumber.data() + strNumber.size(), lTimeout);
    if (ec != std::errc() || ptr != strNumber.data() + strNumber.size() || lTimeout < 0)
        return kDefaultLoginTimeout;
    return lTimeout;
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

std::wstring OdbcConnectionString(const std::wstring& strServer, Clauses& clauses, const OdbcDriverSettings& settings)
{
    std::wstring str = L"DRIVER={";
    for (const wchar_t c : settings.strDriver) {
        str += c;
        if (c == L'}')
            str += L'}';
    }
    str += L"};Server=" + QuoteOdbcValue(strServer);
    if (clauses[ClauseKind::Trusted] && IsYes(*clauses[ClauseKind::Trusted])) {
        str += L";Trusted_Connection=Yes";
    } else {
        if (clauses[ClauseKind::UserId])
            str += L";UID=" + QuoteOdbcValue(*clauses[ClauseKind::UserId]);
        if (clauses[ClauseKind::Password])
            str += L";PWD=" + QuoteOdbcValue(*clauses[ClauseKind::Password]);
    }
    if (clauses[ClauseKind::InitialCatalog])
        str += L";Database=" + QuoteOdbcValue(*clauses[ClauseKind::InitialCatalog]);

    const std::wstring_view options = TrimSeparators(settings.strDriverOptions);
    if (!options.empty())
        str += L";" + std::wstring(options);
    if (EqualsNoCase(settings.strDriver, kDefaultDriver) && !ContainsNoCase(options, L"TDS_Version"))
        str += L";" + std::wstring(kDefaultDriverOptions);
    return str;
}

// A string value; nothing when it is missing, too long, or of another type.
std::optional<std::wstring> ReadStringValue(const RegistryKey& key, std::wstring_view valueName, std::size_t cchMax)
{
    DWORD dwType = REG_NONE;
    DWORD cbData = 0;
    if (key.QueryValue(valueName, &dwType, nullptr, &cbData) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return std::nullopt;
    return key.ReadString(valueName, cchMax);
}

} // namespace

OdbcDriverSettings ReadOdbcDriverSettings(const platform::Registry& registry)
{
    OdbcDriverSettings settings;
    RegistryKey key;
    if (registry.OpenKey(kOdbcSettingsKey, key) != ERROR_SUCCESS)
        return settings;
    if (std::optional<std::wstring> strDriver = ReadStringValue(key, L"Driver", 1024);
        strDriver && !Trim(*strDriver).empty()) {
        settings.strDriver = std::wstring(Trim(*strDriver));
        // The default options are FreeTDS's; another driver gets none unless they are named.
        if (!EqualsNoCase(settings.strDriver, kDefaultDriver))
            settings.strDriverOptions.clear();
    }
    if (std::optional<std::wstring> strOptions = ReadStringValue(key, L"DriverOptions", 4096))
        settings.strDriverOptions = std::move(*strOptions);
    return settings;
}

std::wstring QuoteOdbcValue(std::wstring_view value)
{
    const bool bNeedsBraces = value.find_first_of(L";{}=") != std::wstring_view::npos ||
                              (!value.empty() && (std::iswspace(static_cast<wint_t>(value.front())) ||
                                                  std::iswspace(static_cast<wint_t>(value.back()))));
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

OdbcConnectPlan TranslateConnectionString(std::wstring_view strOleDbConnectionString,
                                          const OdbcDriverSettings& settings)
{
    Clauses clauses = ParseClauses(strOleDbConnectionString);
    OdbcConnectPlan plan;
    plan.lLoginTimeout = LoginTimeout(clauses[ClauseKind::ConnectTimeout]);

    const std::wstring strPrincipal = clauses[ClauseKind::DataSource].value_or(L"");
    plan.targets.push_back({strPrincipal, OdbcConnectionString(DriverServerName(strPrincipal), clauses, settings)});
    if (clauses[ClauseKind::FailoverPartner] && !clauses[ClauseKind::FailoverPartner]->empty()) {
        const std::wstring strPartner = *clauses[ClauseKind::FailoverPartner];
        plan.targets.push_back({strPartner, OdbcConnectionString(DriverServerName(strPartner), clauses, settings)});
    }
    return plan;
}

} // namespace platform::ado::odbc
