#pragma once
// The file operations of an import, with the Win32 results the import compares.

#include "common/HResult.h"
#include "common/HandleOwners.h"

#include <string>

namespace Vaultfeed {

// The file that a copy made, held open: while it is held, no other file can come to have its
// identity (device and inode), so a name that someone else has since removed and made anew, or
// replaced, is never taken for it.
class CMadeCopy
{
public:
    CMadeCopy() = default;
    explicit CMadeCopy(CAutoFileHandle file) : m_file(std::move(file)) {}

    // Whether the path names this file now.
    bool IsNamedBy(const std::string& strPath) const;

private:
    CAutoFileHandle m_file;
};

// Copies a regular file to a new name and never replaces a file: ERROR_FILE_EXISTS when the
// target exists, ERROR_ACCESS_DENIED for a source that is no regular file (a folder, pipe or
// device, which is never waited on). The copy gets its name only once it is whole, so a copy that
// fails half-way (a full disk) leaves nothing behind. On success, copy is the file made.
DWORD CopyFileNoReplace(const std::string& strSource, const std::string& strTarget, CMadeCopy& copy);

// Removes the copy that was made under that name, and nothing else: a name that now stands for
// another file is left alone, and one that is gone counts as removed.
void DeleteCopy(const std::string& strPath, const CMadeCopy& copy);

// Gives a file a new name, replacing a file of that name; false when that fails.
bool MoveFileReplacing(const std::string& strFrom, const std::string& strTo);

} // namespace Vaultfeed
