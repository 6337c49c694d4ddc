#pragma once
// keepctl's console: every text goes to standard output as UTF-8, one orientation only, and is
// flushed at once so that it stands in order with whatever else writes to the terminal.

#include <string_view>

namespace Keepctl {

void Print(std::wstring_view text);

} // namespace Keepctl
