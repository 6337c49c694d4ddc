#include "vaultfeed/bus/BusErrors.h"

#include "vaultfeed/bus/BusNames.h"

#include <array>
#include <utility>

namespace Vaultfeed::Bus {
namespace {

constexpr QLatin1StringView kBusErrorPrefix{"org.freedesktop.DBus.Error."};

// The bus's errors whose meaning does not depend on the situation.
constexpr std::array<std::pair<QLatin1StringView, HRESULT>, 7> kFixedErrors{{
    {QLatin1StringView("Disconnected"), RPC_E_SERVER_UNAVAILABLE},
    {QLatin1StringView("UnknownObject"), RPC_E_DISCONNECTED},
    {QLatin1StringView("UnknownInterface"), E_NOINTERFACE},
    {QLatin1StringView("UnknownMethod"), E_NOINTERFACE},
    {QLatin1StringView("InvalidSignature"), RPC_E_INVALID_DATAPACKET},
    {QLatin1StringView("InvalidArgs"), RPC_E_INVALID_DATAPACKET},
    {QLatin1StringView("AccessDenied"), E_ACCESSDENIED},
}};

// The HRESULT of one of the service's error names: eight hexadecimal digits that make a failure.
HRESULT HResultFromServiceError(QStringView strDigits)
{
    bool bParsed = false;
    const uint uCode = strDigits.toUInt(&bParsed, 16);
    const HRESULT hr = MakeHResult(uCode);
    return bParsed && strDigits.size() == 8 && FAILED(hr) ? hr : RPC_E_INVALID_DATAPACKET;
}

} // namespace

QString ErrorNameFor(HRESULT hr)
{
    return kErrorNamePrefix + QStringLiteral("%1").arg(HResultBits(hr), 8, 16, QLatin1Char('0')).toUpper();
}

HRESULT HResultFromBusError(QStringView strErrorName, CallSituation situation)
{
    if (strErrorName.startsWith(kErrorNamePrefix))
        return HResultFromServiceError(strErrorName.mid(kErrorNamePrefix.size()));
    if (!strErrorName.startsWith(kBusErrorPrefix))
        return E_FAIL;
    const QStringView strName = strErrorName.mid(kBusErrorPrefix.size());
    for (const auto& [strKnown, hr] : kFixedErrors) {
        if (strName == strKnown)
            return hr;
    }
    if (strName == QLatin1StringView("ServiceUnknown") || strName == QLatin1StringView("NameHasNoOwner"))
        return situation.bCreating ? REGDB_E_CLASSNOTREG : RPC_E_DISCONNECTED;
    if (strName == QLatin1StringView("NoReply") || strName == QLatin1StringView("Timeout") ||
        strName == QLatin1StringView("TimedOut"))
        return situation.bServiceGone ? RPC_E_DISCONNECTED : RPC_E_TIMEOUT;
    return E_FAIL;
}

} // namespace Vaultfeed::Bus
