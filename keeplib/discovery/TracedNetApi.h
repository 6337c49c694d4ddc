#pragma once
// The process's network answers as the library asks them: each call followed in the trace by the
// notes it left (which source answered, why a better one did not, what a library printed).

#include "platform/netapi/NetApi.h"

namespace Keeplibs {

platform::netapi::INetApi& TracedNetApi();

} // namespace Keeplibs
