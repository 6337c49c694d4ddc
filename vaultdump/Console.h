#pragma once
// vaultdump's console: every text goes to standard output as UTF-8 bytes through narrow writes
// only. The C library's buffering stands: line by line on a terminal, so that a long run shows its
// progress, and in blocks into a pipe or file, so that ten thousand lines do not cost ten thousand
// writes.

#include <string_view>

namespace Vaultdump {

void Print(std::string_view text);

} // namespace Vaultdump
