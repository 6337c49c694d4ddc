#include "vaultfeed/bus/BusVariant.h"

#include <stdexcept>

namespace Vaultfeed::Bus {

QVariantList VariantToBus(const platform::Variant& var)
{
    switch (var.Type()) {
    case platform::VT_EMPTY:
        return {};
    case platform::VT_I4:
        return {QVariant(static_cast<int>(var.Int32Value()))};
    case platform::VT_BSTR:
        return {QVariant(QString::fromStdWString(var.StringValue()))};
    default:
        throw std::invalid_argument("the bus carries VT_EMPTY, VT_I4 and VT_BSTR only");
    }
}

std::optional<platform::Variant> VariantFromBus(const QVariantList& list)
{
    if (list.isEmpty())
        return platform::Variant();
    if (list.size() > 1)
        return std::nullopt;
    const QVariant& value = list.front();
    switch (value.metaType().id()) {
    case QMetaType::Int:
        return platform::Variant::Int32(value.toInt());
    case QMetaType::QString:
        return platform::Variant::String(value.toString().toStdWString());
    default:
        return std::nullopt;
    }
}

} // namespace Vaultfeed::Bus
