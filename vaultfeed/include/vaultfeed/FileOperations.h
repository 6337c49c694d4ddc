#pragma once
// The file operations of an import, with the Win32 results the import compares.

#include "common/HResult.h"

#include <string>

namespace Vaultfeed {

// Copies a regular file to a new name and never replaces a file: ERROR_FILE_EXISTS when the
// target exists, ERROR_ACCESS_DENIED for a source that is no regular file (a folder, pipe or
// device, which is never waited on). The copy gets its name only once it is whole, so a copy that
// fails half-way (a full disk) leaves nothing behind.
DWORD CopyFileNoReplace(const std::string& strSource, const std::string& strTarget);

// Removes a file; one that does not exist counts as removed.
void DeleteFileIfPresent(const std::string& strPath);

// Gives a file a new name, replacing a file of that name; false when that fails.
bool MoveFileReplacing(const std::string& strFrom, const std::string& strTo);

} // namespace Vaultfeed
