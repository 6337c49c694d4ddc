#pragma once
// The entries of a folder whose names end in ".tmp", the extension matched without regard to case.

#include <string>
#include <string_view>
#include <vector>

namespace Vaultdump {

bool IsTmpName(std::string_view strName);

// Lists the names once, sorted by their bytes, before anything is written to the folder: a run
// never meets its own output files, and its output does not depend on the file system's order.
// False when the folder cannot be read or holds no such entry: the search cannot start.
bool ListTmpEntries(const std::string& strFolder, std::vector<std::string>& names);

} // namespace Vaultdump
