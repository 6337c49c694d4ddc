#pragma once
// vaultdump's console: every text goes to standard output as UTF-8 bytes through narrow writes
// only, and is flushed as it is printed: a run that is killed has handed on every line it printed,
// into a pipe or file too, and each line names an output that exists.

#include <string_view>

namespace Vaultdump {

void Print(std::string_view text);

} // namespace Vaultdump
