#include "platform/TempFile.h"

#include "common/StringUtils.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <sys/stat.h>

namespace platform {
namespace {

// The names run from 1 to FFFF and round again.
constexpr unsigned kUniqueValues = 0xFFFF;

// A folder's state as far as its names go: a name added or removed changes its modification time.
struct FolderStamp
{
    dev_t device;
    ino_t inode;
    timespec modified;

    bool operator==(const FolderStamp& other) const
    {
        return device == other.device && inode == other.inode && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

// The numbers of the whole process: each search starts at the last name given out and goes on
// from there, so that a folder full of earlier names costs one pass over them in all, not one per
// file, and a name its caller gave back at once (an output that failed) is found again first
// instead of after a whole round. The first number is random, as Windows starts at the tick
// count, so that processes creating files in one folder at once rarely meet. Folders found full
// are remembered with their stamp: while the stamp holds, no name has been freed there, and
// asking again fails at once.
class CNameCircle
{
public:
    CNameCircle() : m_uNext(std::random_device()() % kUniqueValues + 1) {}

    DWORD Create(const std::filesystem::path& folder, const std::string& strPrefix, std::filesystem::path& pathOut,
                 CAutoFileHandle& fileOut, int iExtraFlags)
    {
        struct stat info
        {
        };
        if (::stat(folder.c_str(), &info) != 0)
            return Win32ErrorFromErrno(errno);
        const FolderStamp stamp{info.st_dev, info.st_ino, info.st_mtim};
        const std::string strFolderKey = folder.native() + '\0' + strPrefix;

        const std::lock_guard guard(m_lock);
        if (const auto full = m_fullFolders.find(strFolderKey); full != m_fullFolders.end() && full->second == stamp)
            return ERROR_FILE_EXISTS;
        for (unsigned uTried = 0; uTried < kUniqueValues; ++uTried, m_uNext = m_uNext % kUniqueValues + 1) {
            char szName[16];
            std::snprintf(szName, sizeof szName, "%X.tmp", m_uNext);
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
        m_fullFolders[strFolderKey] = stamp;
        return ERROR_FILE_EXISTS;
    }

private:
    std::mutex m_lock;
    unsigned m_uNext; // 1 to FFFF
    std::map<std::string, FolderStamp> m_fullFolders;
};

CNameCircle& NameCircle()
{
    static CNameCircle circle;
    return circle;
}

} // namespace

std::filesystem::path GetTempPath()
{
    const char* szTmpDir = std::getenv("TMPDIR");
    return (szTmpDir && *szTmpDir) ? std::filesystem::path(szTmpDir) : std::filesystem::path("/tmp");
}

DWORD GetTempFileName(const std::filesystem::path& folder, std::wstring_view wszPrefix, std::filesystem::path& pathOut)
{
    CAutoFileHandle file;
    return CreateTempFile(folder, wszPrefix, pathOut, file);
}

DWORD CreateTempFile(const std::filesystem::path& folder, std::wstring_view wszPrefix, std::filesystem::path& pathOut,
                     CAutoFileHandle& fileOut, int iExtraFlags)
{
    return NameCircle().Create(folder, WideToNarrow(wszPrefix.substr(0, 3)), pathOut, fileOut, iExtraFlags);
}

} // namespace platform
