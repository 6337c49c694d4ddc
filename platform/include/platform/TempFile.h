#pragma once
// Temporary files named as the Windows temp-file call names them: a prefix of up to three
// characters, one to four upper-case hexadecimal digits and ".tmp".

#include "common/HResult.h"
#include "common/HandleOwners.h"

#include <filesystem>
#include <string_view>

namespace platform {

// $TMPDIR when set and not empty, else /tmp.
std::filesystem::path GetTempPath();

// Creates a new empty file in the folder under a unique name and returns that name in pathOut.
// The file is created exclusively, with mode 0600, never through a symbolic link. Returns
// ERROR_SUCCESS or a Win32 error code; ERROR_FILE_EXISTS when every name is taken, at once when
// the folder was found full before and has not changed since. The numbers continue, process-wide,
// from the last one given out, which is tried again first.
DWORD GetTempFileName(const std::filesystem::path& folder, std::wstring_view wszPrefix, std::filesystem::path& pathOut);

// The same, keeping the descriptor that created the file, open for writing with the extra open
// flags given. Whoever writes the file writes through it: in a folder others can write to, the
// name may point at another file by the time it is opened again.
DWORD CreateTempFile(const std::filesystem::path& folder, std::wstring_view wszPrefix, std::filesystem::path& pathOut,
                     CAutoFileHandle& fileOut, int iExtraFlags = 0);

} // namespace platform
