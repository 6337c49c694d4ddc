#pragma once
// The schema scripts compiled into the library, found by their identifier: the bytes of each
// file in keeplib/scripts/, unchanged.

#include <cstdint>
#include <optional>
#include <span>

namespace Keeplibs {

std::optional<std::span<const std::uint8_t>> FindEmbeddedScript(std::int32_t lScriptID);

} // namespace Keeplibs
