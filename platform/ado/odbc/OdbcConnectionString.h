#pragma once
// The ODBC connection string for the settings of a connection, in the quoting that the driver
// really understands.
//
// Each setting reaches the driver as a keyword of its own: the data source as Server ("host",
// "host\instance" or "host,port"; an empty name, "." and "(local)" mean this computer), the
// integrated login as Trusted_Connection, the SQL login as UID and PWD, the initial catalog as
// Database. The connect timeout is no keyword but the driver's login timeout, and the failover
// partner a second target with the same keywords. The driver and its extra options come from the
// registry.

#include "platform/Registry.h"
#include "platform/ado/Ado.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ado::odbc {

// Where the ODBC driver is named: HKEY_LOCAL_MACHINE\Software\Vestrel\Keeplib\ODBC.
inline constexpr std::wstring_view kOdbcSettingsKey = L"Software\\Vestrel\\Keeplib\\ODBC";
inline constexpr std::wstring_view kDefaultDriver = L"FreeTDS";
inline constexpr std::wstring_view kDefaultDriverOptions = L"TDS_Version=7.4";
// ADO's wait when the connection names none.
inline constexpr std::int32_t kDefaultLoginTimeout = 15;

// How a driver reads a value in braces.
enum class OdbcQuoting {
    // ODBC's own rule: a value in braces ends at a "}" that is not doubled; "}}" stands for "}".
    Standard,
    // FreeTDS 1.3: a value in braces runs to the first "}" that a ";" follows, and "}}" stays two
    // characters; a value without braces runs to the first ";", blanks and all. So a value
    // holding "};" cannot be carried at all.
    FreeTds,
};

struct OdbcDriverSettings
{
    std::wstring strDriver{kDefaultDriver};
    // ODBC "keyword=value" clauses appended to every connection string as they stand.
    std::wstring strDriverOptions{kDefaultDriverOptions};
    OdbcQuoting quoting = OdbcQuoting::FreeTds;
};

// The values "Driver" and "DriverOptions" of the settings key. A missing or empty Driver is
// FreeTDS; a missing DriverOptions is "TDS_Version=7.4" for FreeTDS and nothing for another
// driver; an empty one means no options. The driver is FreeTDS when its library is FreeTDS's,
// whatever the name that stands for it (a path, or a section of odbcinst.ini); a name that no
// section describes is FreeTDS only when it is "FreeTDS". FreeTDS always gets a TDS_Version (the
// connection string adds the default when the options name none): without one it may fall back
// to a protocol without a timer and wait for ever on a server that never answers.
OdbcDriverSettings ReadOdbcDriverSettings(const platform::Registry& registry);

// The value as a keyword's value must be written for the driver to read it back unchanged, in
// braces only where it needs them; nothing when the driver cannot read it back at all.
std::optional<std::wstring> QuoteOdbcValue(std::wstring_view value, OdbcQuoting quoting);

// A setting that the driver cannot be given: the connection is refused before any attempt. The
// text names the setting, never its value.
class COdbcValueRefused : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One server to try, with the complete ODBC connection string for it.
struct OdbcConnectTarget
{
    std::wstring strServer; // the data source (or failover partner) as the connection named it
    std::wstring strOdbcConnectionString;
};

struct OdbcConnectPlan
{
    std::vector<OdbcConnectTarget> targets;            // the principal, then the failover partner if any
    std::int32_t lLoginTimeout = kDefaultLoginTimeout; // seconds; 0 waits without limit
};

// Throws COdbcValueRefused for a setting the driver cannot carry.
OdbcConnectPlan BuildConnectPlan(const ConnectionProperties& properties, const OdbcDriverSettings& settings);

} // namespace platform::ado::odbc
