#include "vaultfeed/bus/QuarantineContract.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace Vaultfeed::Bus {
namespace {

constexpr std::string_view kErrorPrefix = "org.vestrel.Velmora.Error.";
constexpr std::string_view kBusErrorPrefix = "org.freedesktop.DBus.Error.";

constexpr std::array kServiceErrors{kInvalidFileName, kNoSuchSession,  kImportInProgress,
                                    kAlreadyImported, kFileNotFound,   kAccessDenied,
                                    kReadFailed,      kDatabaseFailed, kFailed};

// The bus's errors whose meaning does not depend on the situation.
constexpr std::array<std::pair<std::string_view, HRESULT>, 7> kFixedBusErrors{{
    {"Disconnected", RPC_E_SERVER_UNAVAILABLE},
    {"UnknownObject", RPC_E_DISCONNECTED},
    {"UnknownInterface", E_NOINTERFACE},
    {"UnknownMethod", E_NOINTERFACE},
    {"InvalidSignature", RPC_E_INVALID_DATAPACKET},
    {"InvalidArgs", RPC_E_INVALID_DATAPACKET},
    {"AccessDenied", E_ACCESSDENIED},
}};

HRESULT HResultOfServiceError(std::string_view strName, std::optional<std::uint32_t> hrArgument)
{
    if (hrArgument && FAILED(MakeHResult(*hrArgument)))
        return MakeHResult(*hrArgument);
    for (const ServiceError& error : kServiceErrors) {
        if (error.strName == strName)
            return error.hrDefault;
    }
    return E_FAIL;
}

} // namespace

std::string ErrorName(const ServiceError& error)
{
    return std::string(kErrorPrefix) + std::string(error.strName);
}

HRESULT HResultOfError(std::string_view strName, std::optional<std::uint32_t> hrArgument, CallSituation situation)
{
    if (strName.starts_with(kErrorPrefix))
        return HResultOfServiceError(strName.substr(kErrorPrefix.size()), hrArgument);
    if (!strName.starts_with(kBusErrorPrefix))
        return E_FAIL;
    const std::string_view strShort = strName.substr(kBusErrorPrefix.size());
    for (const auto& [strKnown, hr] : kFixedBusErrors) {
        if (strShort == strKnown)
            return hr;
    }
    if (strShort == "ServiceUnknown" || strShort == "NameHasNoOwner")
        return situation.bConnecting ? REGDB_E_CLASSNOTREG : RPC_E_DISCONNECTED;
    if (strShort == "NoReply" || strShort == "Timeout" || strShort == "TimedOut")
        return situation.bServiceGone ? RPC_E_DISCONNECTED : RPC_E_TIMEOUT;
    return E_FAIL;
}

bool IsBareFileName(std::string_view strName)
{
    return !strName.empty() && strName.size() <= 255 && strName != "." && strName != ".." &&
           strName.find('/') == std::string_view::npos && strName.find('\0') == std::string_view::npos;
}

std::string ServiceBusAddress()
{
    for (const char* szVariable : {kBusAddressVariable, "DBUS_SYSTEM_BUS_ADDRESS"}) {
        // A program run with privileges it was given takes no address from its caller.
        const char* szAddress = ::secure_getenv(szVariable);
        if (szAddress && *szAddress)
            return szAddress;
    }
    return kSystemBusAddress;
}

} // namespace Vaultfeed::Bus
