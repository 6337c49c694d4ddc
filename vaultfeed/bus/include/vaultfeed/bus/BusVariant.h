#pragma once
// A VARIANT on the bus, as av: no element for VT_EMPTY, one int32 for VT_I4, one string for
// VT_BSTR. No answer of the service needs another type.

#include "platform/Variant.h"

#include <QVariantList>
#include <optional>

namespace Vaultfeed::Bus {

// Throws std::invalid_argument for a type the bus does not carry.
QVariantList VariantToBus(const platform::Variant& var);

// Nothing for a list that is no VARIANT of the bus: a malformed reply.
std::optional<platform::Variant> VariantFromBus(const QVariantList& list);

} // namespace Vaultfeed::Bus
