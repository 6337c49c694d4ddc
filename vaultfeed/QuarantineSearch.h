#pragma once
// The entries of a folder named like quarantine files, "Q*.tmp" without regard to case, found one
// at a time in the order the file system lists them, as the Windows search calls return them.

#include "common/HResult.h"

#include <dirent.h>
#include <memory>
#include <string>
#include <string_view>

namespace Vaultfeed {

bool IsQuarantineFileName(std::string_view strName);

struct SearchEntry
{
    std::string strName;
    // A folder, or a link to one.
    bool bIsFolder = false;
};

class CQuarantineSearch
{
public:
    // ERROR_SUCCESS with the first entry; ERROR_FILE_NOT_FOUND when none matches; the Win32 error
    // that kept the folder from being read otherwise (ERROR_PATH_NOT_FOUND for a missing folder).
    DWORD FindFirst(const std::string& strFolder, SearchEntry& entry);
    // ERROR_SUCCESS with the next entry; ERROR_NO_MORE_FILES after the last.
    DWORD FindNext(SearchEntry& entry);

private:
    // The next matching entry; bAtEnd when there is none left.
    DWORD NextMatch(SearchEntry& entry, bool& bAtEnd);

    std::unique_ptr<DIR, int (*)(DIR*)> m_folder{nullptr, &::closedir};
};

// The number of entries a search returns, folders included.
std::uint32_t CountQuarantineEntries(const std::string& strFolder);

} // namespace Vaultfeed
