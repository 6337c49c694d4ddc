#pragma once
// The service's answers to a call that failed: an error reply named by its meaning, with a message
// for people and the HRESULT after it.

#include "common/HResult.h"
#include "vaultfeed/bus/QuarantineContract.h"

#include <systemd/sd-bus.h>

#include <string>
#include <string_view>

namespace Velmorasvc {

// Sends the error reply: 1 once sent, as a method's handler returns, or the negative errno.
int ReplyError(sd_bus_message* pCall, const Vaultfeed::Bus::ServiceError& error, const std::string& strMessage,
               HRESULT hr);
inline int ReplyError(sd_bus_message* pCall, const Vaultfeed::Bus::ServiceError& error, const std::string& strMessage)
{
    return ReplyError(pCall, error, strMessage, error.hrDefault);
}

// The exception in flight as an error reply: the database's failures as DatabaseFailed with the
// database layer's HRESULT and description, anything else as Failed.
int ReplyCurrentException(sd_bus_message* pCall);

// A file name as a message may show it: bytes that are no printable ASCII as \xNN (a message must
// be UTF-8, and a name need not be).
std::string PrintableName(std::string_view strName);

} // namespace Velmorasvc
