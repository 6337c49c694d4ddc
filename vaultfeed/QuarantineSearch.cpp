#include "QuarantineSearch.h"

#include "platform/Win32Error.h"

#include <cerrno>
#include <sys/stat.h>

namespace Vaultfeed {
namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool IsQuarantineFileName(std::string_view strName)
{
    constexpr std::string_view kExtension = ".tmp";
    if (strName.size() < 1 + kExtension.size() || LowerAscii(strName.front()) != 'q')
        return false;
    const std::string_view strTail = strName.substr(strName.size() - kExtension.size());
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        if (LowerAscii(strTail[i]) != kExtension[i])
            return false;
    }
    return true;
}

DWORD CQuarantineSearch::FindFirst(const std::string& strFolder, SearchEntry& entry)
{
    m_folder.reset(::opendir(strFolder.c_str()));
    // A folder that is not there is a path not found, as for the Windows search; ERROR_FILE_NOT_FOUND
    // would read as a folder without quarantine files.
    if (!m_folder)
        return errno == ENOENT ? platform::ERROR_PATH_NOT_FOUND : platform::Win32ErrorFromErrno(errno);
    bool bAtEnd = false;
    const DWORD dwError = NextMatch(entry, bAtEnd);
    return bAtEnd ? platform::ERROR_FILE_NOT_FOUND : dwError;
}

DWORD CQuarantineSearch::FindNext(SearchEntry& entry)
{
    bool bAtEnd = false;
    const DWORD dwError = NextMatch(entry, bAtEnd);
    return bAtEnd ? platform::ERROR_NO_MORE_FILES : dwError;
}

DWORD CQuarantineSearch::NextMatch(SearchEntry& entry, bool& bAtEnd)
{
    if (!m_folder) {
        bAtEnd = true;
        return platform::ERROR_SUCCESS;
    }
    for (;;) {
        errno = 0;
        const dirent* pEntry = ::readdir(m_folder.get());
        if (pEntry == nullptr) {
            bAtEnd = errno == 0;
            return platform::Win32ErrorFromErrno(errno);
        }
        if (!IsQuarantineFileName(pEntry->d_name))
            continue;
        // A link counts as what it leads to; one that leads nowhere is no folder.
        struct stat status
        {
        };
        entry.strName = pEntry->d_name;
        entry.bIsFolder =
            ::fstatat(::dirfd(m_folder.get()), pEntry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
        return platform::ERROR_SUCCESS;
    }
}

std::uint32_t CountQuarantineEntries(const std::string& strFolder)
{
    CQuarantineSearch search;
    SearchEntry entry;
    std::uint32_t uCount = 0;
    for (DWORD dwError = search.FindFirst(strFolder, entry); dwError == platform::ERROR_SUCCESS;
         dwError = search.FindNext(entry))
        ++uCount;
    return uCount;
}

} // namespace Vaultfeed
