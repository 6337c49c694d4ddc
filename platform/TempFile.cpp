#include "TempFile.h"

#include "Win32Error.h"
#include "common/StringUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>

namespace platform {

std::filesystem::path GetTempPath()
{
    const char* szTmpDir = std::getenv("TMPDIR");
    return (szTmpDir && *szTmpDir) ? std::filesystem::path(szTmpDir) : std::filesystem::path("/tmp");
}

DWORD GetTempFileName(const std::filesystem::path& folder, std::wstring_view wszPrefix,
                      std::filesystem::path& pathOut)
{
    CAutoFileHandle file;
    return CreateTempFile(folder, wszPrefix, pathOut, file);
}

DWORD CreateTempFile(const std::filesystem::path& folder, std::wstring_view wszPrefix,
                     std::filesystem::path& pathOut, CAutoFileHandle& fileOut, int iExtraFlags)
{
    const std::string strPrefix = WideToNarrow(wszPrefix.substr(0, 3));
    constexpr unsigned kUniqueValues = 0xFFFF;
    // Start at a random number, as Windows starts at the tick count, so that processes that
    // create files in one folder at once rarely meet.
    std::random_device random;
    unsigned uUnique = random() % kUniqueValues;
    for (unsigned uTried = 0; uTried < kUniqueValues; ++uTried) {
        uUnique = uUnique % kUniqueValues + 1;
        char szName[16];
        std::snprintf(szName, sizeof szName, "%X.tmp", uUnique);
        const std::filesystem::path candidate = folder / (strPrefix + szName);
        CAutoFileHandle file(
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | iExtraFlags, 0600));
        if (file) {
            pathOut = candidate;
            fileOut = std::move(file);
            return ERROR_SUCCESS;
        }
        if (errno != EEXIST)
            return Win32ErrorFromErrno(errno);
    }
    return ERROR_FILE_EXISTS;
}

} // namespace platform
