#pragma once
// HRESULTs on the bus: the error name a failing service answers with, and what the import makes
// of any error a call meets, the bus's own included.

#include "common/HResult.h"

#include <QString>
#include <QStringView>

namespace Vaultfeed::Bus {

// org.vestrel.Velmora.Error.HR_80070005 for E_ACCESSDENIED.
QString ErrorNameFor(HRESULT hr);

// What a call was doing when its error came, for the errors that mean different things then.
struct CallSituation
{
    // Creating an object: nobody serving the name means a class that is not there.
    bool bCreating = false;
    // The service has left the bus: a reply that never came was lost, not late.
    bool bServiceGone = false;
};

// The service's own errors carry their HRESULT unchanged; an error name of the service's that is
// not one of a failure is a malformed reply. The bus's errors map to what COM answers:
//   Disconnected (no bus)                      RPC_E_SERVER_UNAVAILABLE
//   ServiceUnknown, NameHasNoOwner             REGDB_E_CLASSNOTREG creating, RPC_E_DISCONNECTED after
//   NoReply, Timeout, TimedOut                 RPC_E_TIMEOUT, or RPC_E_DISCONNECTED when the service is gone
//   UnknownObject                              RPC_E_DISCONNECTED (the object was released)
//   UnknownInterface, UnknownMethod            E_NOINTERFACE
//   InvalidSignature, InvalidArgs              RPC_E_INVALID_DATAPACKET
//   AccessDenied                               E_ACCESSDENIED
//   anything else                              E_FAIL
HRESULT HResultFromBusError(QStringView strErrorName, CallSituation situation);

} // namespace Vaultfeed::Bus
