#pragma once
// The contract of org.vestrel.Velmora.Quarantine1, as both its client (vaultfeed) and the
// substitute service use it: where the service is, its error names with the HRESULT each stands
// for, and what a client makes of any error a call meets, the bus's own included. The published
// form is org.vestrel.Velmora.Quarantine1.xml beside this library.

#include "common/HResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Vaultfeed::Bus {

// The environment variable that names the bus's address; the system bus without it.
inline constexpr const char* kBusAddressVariable = "VESTREL_SERVICE_BUS";
inline constexpr const char* kSystemBusAddress = "unix:path=/run/dbus/system_bus_socket";

inline constexpr const char* kServiceName = "org.vestrel.Velmora";
inline constexpr const char* kObjectPath = "/org/vestrel/Velmora/Quarantine";
inline constexpr const char* kInterface = "org.vestrel.Velmora.Quarantine1";
inline constexpr const char* kFolderProperty = "QuarantineFolder";
// A session's path: this and 32 hexadecimal digits.
inline constexpr std::string_view kSessionPathPrefix = "/org/vestrel/Velmora/Quarantine/session/";

// ImportFile's answers.
inline constexpr std::string_view kOutcomeImported = "imported";
inline constexpr std::string_view kOutcomeDamaged = "damaged";

// HRESULTs of the contract that the common table does not hold.
inline constexpr HRESULT kErrorFileNotFound = MakeHResult(0x80070002); // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
inline constexpr HRESULT kErrorFileExists = MakeHResult(0x80070050);   // HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)
inline constexpr HRESULT kErrorBusy = MakeHResult(0x800700AA);         // HRESULT_FROM_WIN32(ERROR_BUSY)
inline constexpr HRESULT kErrorFileCorrupt = MakeHResult(0x80070570);  // HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT)
inline constexpr HRESULT kAborted = MakeHResult(0x80004004);           // E_ABORT: a call interrupted

// One of the service's errors: the last part of its name, and the HRESULT a client takes when the
// reply carries none.
struct ServiceError
{
    std::string_view strName;
    HRESULT hrDefault;
};

inline constexpr ServiceError kInvalidFileName{"InvalidFileName", E_INVALIDARG};
inline constexpr ServiceError kNoSuchSession{"NoSuchSession", RPC_E_DISCONNECTED};
inline constexpr ServiceError kImportInProgress{"ImportInProgress", kErrorBusy};
inline constexpr ServiceError kAlreadyImported{"AlreadyImported", kErrorFileExists};
inline constexpr ServiceError kFileNotFound{"FileNotFound", kErrorFileNotFound};
inline constexpr ServiceError kAccessDenied{"AccessDenied", E_ACCESSDENIED};
inline constexpr ServiceError kReadFailed{"ReadFailed", E_FAIL};
inline constexpr ServiceError kDatabaseFailed{"DatabaseFailed", E_FAIL};
inline constexpr ServiceError kFailed{"Failed", E_FAIL};

// org.vestrel.Velmora.Error.<name>
std::string ErrorName(const ServiceError& error);

// What a call was doing when its error came, for the bus's errors that mean different things then.
struct CallSituation
{
    // Looking for the service: nobody owning its name means a service that is not there.
    bool bConnecting = false;
    // The service has left the bus: a reply that never came was lost, not late.
    bool bServiceGone = false;
};

// The HRESULT of an error reply. The service's errors carry theirs after the message (hrArgument);
// one that carries none, or no failure, gives its name's default, and a name of the service's that
// this client does not know E_FAIL. The bus's errors map to what COM answers:
//   ServiceUnknown, NameHasNoOwner             REGDB_E_CLASSNOTREG connecting, RPC_E_DISCONNECTED after
//   NoReply, Timeout, TimedOut                 RPC_E_TIMEOUT, or RPC_E_DISCONNECTED when the service is gone
//   Disconnected                               RPC_E_SERVER_UNAVAILABLE
//   UnknownObject                              RPC_E_DISCONNECTED
//   UnknownInterface, UnknownMethod            E_NOINTERFACE
//   InvalidSignature, InvalidArgs              RPC_E_INVALID_DATAPACKET
//   AccessDenied                               E_ACCESSDENIED
//   anything else                              E_FAIL
HRESULT HResultOfError(std::string_view strName, std::optional<std::uint32_t> hrArgument, CallSituation situation);

// A name the service takes as a file of its quarantine folder: one path component, not "." or
// "..", without NUL, of 255 bytes at most. Nothing outside the folder can be named.
bool IsBareFileName(std::string_view strName);

// The address of the service's bus: VESTREL_SERVICE_BUS, else the system bus's
// (DBUS_SYSTEM_BUS_ADDRESS, or its well-known socket).
std::string ServiceBusAddress();

} // namespace Vaultfeed::Bus
