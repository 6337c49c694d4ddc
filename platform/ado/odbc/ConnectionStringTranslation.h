#pragma once
// The OLE DB connection string that the connection helper builds, translated for an ODBC driver.
//
// The OLE DB string is "name=value" clauses joined by ";", neither quoted nor escaped. Each
// clause becomes its ODBC counterpart: Data Source the driver's server ("host", "host\instance"
// or "host,port"; an empty name, "." and "(local)" mean this computer), Trusted_Connection (or
// Integrated Security) the driver's integrated login, User ID and Password UID and PWD,
// Initial Catalog Database. Connect Timeout is no keyword of the driver but its login timeout,
// and Failover Partner a second target with the same clauses. Provider only chose the OLE DB
// provider and is dropped, as are clauses this system never writes. The driver and its extra
// options come from the registry.

#include "platform/Registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ado::odbc {

// Where the ODBC driver is named: HKEY_LOCAL_MACHINE\Software\Vestrel\Keeplib\ODBC.
inline constexpr std::wstring_view kOdbcSettingsKey = L"Software\\Vestrel\\Keeplib\\ODBC";
inline constexpr std::wstring_view kDefaultDriver = L"FreeTDS";
inline constexpr std::wstring_view kDefaultDriverOptions = L"TDS_Version=7.4";
// ADO's wait when the string has no Connect Timeout.
inline constexpr std::int32_t kDefaultLoginTimeout = 15;

struct OdbcDriverSettings
{
    std::wstring strDriver{kDefaultDriver};
    // ODBC "keyword=value" clauses appended to every connection string as they stand.
    std::wstring strDriverOptions{kDefaultDriverOptions};
};

// The values "Driver" and "DriverOptions" of the settings key. A missing or empty Driver is
// FreeTDS; a missing DriverOptions is "TDS_Version=7.4" for FreeTDS and nothing for another
// driver; an empty one means no options. FreeTDS always gets a TDS_Version (the translation adds
// the default when the options name none): without one it may fall back to a protocol without a
// timer and wait for ever on a server that never answers.
OdbcDriverSettings ReadOdbcDriverSettings(const platform::Registry& registry);

// One server to try, with the complete ODBC connection string for it.
struct OdbcConnectTarget
{
    std::wstring strServer; // the Data Source (or Failover Partner) as the OLE DB string named it
    std::wstring strOdbcConnectionString;
};

struct OdbcConnectPlan
{
    std::vector<OdbcConnectTarget> targets;            // the principal, then the failover partner if any
    std::int32_t lLoginTimeout = kDefaultLoginTimeout; // seconds; 0 waits without limit
};

OdbcConnectPlan TranslateConnectionString(std::wstring_view strOleDbConnectionString,
                                          const OdbcDriverSettings& settings);

// The value as an ODBC connection string must carry it: in braces, with "}" doubled, when it
// holds a character that would end or confuse the clause, else unchanged.
std::wstring QuoteOdbcValue(std::wstring_view value);

} // namespace platform::ado::odbc
