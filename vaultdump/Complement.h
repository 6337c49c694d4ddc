#pragma once
// The content of a quarantine file is its item with every bit inverted; this turns one into the
// other, in place.

#include <cstdint>
#include <span>

namespace Vaultdump {

void ComplementBytes(std::span<std::uint8_t> bytes);

} // namespace Vaultdump
