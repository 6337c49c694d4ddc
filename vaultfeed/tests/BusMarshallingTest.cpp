// What travels on the bus: HRESULTs in error names, the bus's own errors as HRESULTs, and VARIANTs.

#include "vaultfeed/bus/BusErrors.h"
#include "vaultfeed/bus/BusVariant.h"

#include <gtest/gtest.h>

using namespace Vaultfeed::Bus;

namespace {

struct ErrorCase
{
    const char* szName;
    CallSituation situation;
    HRESULT hrExpected;
};

TEST(BusErrors, EveryErrorACallMeetsBecomesAnHResult)
{
    const CallSituation kCreating{true, false};
    const CallSituation kCalling{false, false};
    const CallSituation kServiceGone{false, true};
    const std::vector<ErrorCase> cases = {
        {"org.vestrel.Velmora.Error.HR_80070005", kCalling, E_ACCESSDENIED},
        {"org.vestrel.Velmora.Error.HR_8007000e", kCalling, E_OUTOFMEMORY},
        {"org.vestrel.Velmora.Error.HR_80040154", kCreating, REGDB_E_CLASSNOTREG},
        // An error name of the service's that is no failure, or no number, is a malformed answer.
        {"org.vestrel.Velmora.Error.HR_00000001", kCalling, RPC_E_INVALID_DATAPACKET},
        {"org.vestrel.Velmora.Error.HR_8007005", kCalling, RPC_E_INVALID_DATAPACKET},
        {"org.vestrel.Velmora.Error.HR_800700057", kCalling, RPC_E_INVALID_DATAPACKET},
        {"org.vestrel.Velmora.Error.HR_8007005G", kCalling, RPC_E_INVALID_DATAPACKET},
        {"org.vestrel.Velmora.Error.HR_", kCalling, RPC_E_INVALID_DATAPACKET},
        {"org.freedesktop.DBus.Error.Disconnected", kCreating, RPC_E_SERVER_UNAVAILABLE},
        {"org.freedesktop.DBus.Error.ServiceUnknown", kCreating, REGDB_E_CLASSNOTREG},
        {"org.freedesktop.DBus.Error.ServiceUnknown", kCalling, RPC_E_DISCONNECTED},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", kCreating, REGDB_E_CLASSNOTREG},
        {"org.freedesktop.DBus.Error.NoReply", kCalling, RPC_E_TIMEOUT},
        {"org.freedesktop.DBus.Error.NoReply", kServiceGone, RPC_E_DISCONNECTED},
        {"org.freedesktop.DBus.Error.Timeout", kCalling, RPC_E_TIMEOUT},
        {"org.freedesktop.DBus.Error.TimedOut", kServiceGone, RPC_E_DISCONNECTED},
        {"org.freedesktop.DBus.Error.UnknownObject", kCalling, RPC_E_DISCONNECTED},
        {"org.freedesktop.DBus.Error.UnknownMethod", kCalling, E_NOINTERFACE},
        {"org.freedesktop.DBus.Error.UnknownInterface", kCalling, E_NOINTERFACE},
        {"org.freedesktop.DBus.Error.InvalidSignature", kCalling, RPC_E_INVALID_DATAPACKET},
        {"org.freedesktop.DBus.Error.InvalidArgs", kCalling, RPC_E_INVALID_DATAPACKET},
        {"org.freedesktop.DBus.Error.AccessDenied", kCalling, E_ACCESSDENIED},
        {"org.freedesktop.DBus.Error.Failed", kCalling, E_FAIL},
        {"com.example.Other", kCalling, E_FAIL},
    };
    for (const ErrorCase& errorCase : cases) {
        SCOPED_TRACE(std::string(errorCase.szName) + (errorCase.situation.bCreating ? " creating" : "") +
                     (errorCase.situation.bServiceGone ? " gone" : ""));
        EXPECT_EQ(HResultBits(HResultFromBusError(QString::fromLatin1(errorCase.szName), errorCase.situation)),
                  HResultBits(errorCase.hrExpected));
    }
}

TEST(BusErrors, AnErrorNameCarriesItsHResultUnchanged)
{
    EXPECT_EQ(ErrorNameFor(E_OUTOFMEMORY).toStdString(), "org.vestrel.Velmora.Error.HR_8007000E");
    for (const HRESULT hr :
         {E_FAIL, E_INVALIDARG, REGDB_E_CLASSNOTREG, MakeHResult(0x80000000), MakeHResult(0xFFFFFFFF)})
        EXPECT_EQ(HResultBits(HResultFromBusError(ErrorNameFor(hr), {})), HResultBits(hr));
}

TEST(BusVariant, CarriesEmptyIntegersAndStringsAndRefusesAnythingElse)
{
    for (const platform::Variant& var :
         {platform::Variant(), platform::Variant::Int32(-7), platform::Variant::String(L"Gr\u00fc\u00dfe")})
        EXPECT_EQ(VariantFromBus(VariantToBus(var)), var);
    EXPECT_THROW(VariantToBus(platform::Variant::Double(1.5)), std::invalid_argument);

    const std::vector<QVariantList> malformed = {
        {QVariant(1), QVariant(2)},
        {QVariant(1.5)},
        {QVariant::fromValue(short(1))},
        {QVariant(QByteArray("x"))},
    };
    for (const QVariantList& list : malformed)
        EXPECT_EQ(VariantFromBus(list), std::nullopt);
}

} // namespace
