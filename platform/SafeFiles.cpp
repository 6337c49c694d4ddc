#include "platform/SafeFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

// Fails the open with the error given, after the descriptor is closed.
CAutoFileHandle Refused(CAutoFileHandle file, int iErrno)
{
    file.Reset();
    errno = iErrno;
    return {};
}

} // namespace

CAutoFileHandle OpenRegularFile(int dirFd, const char* szPath, int iFlags, LinkPolicy links, mode_t mode)
{
    const int iLinkFlag = links == LinkPolicy::Refuse ? AT_SYMLINK_NOFOLLOW : 0;
    // Opening a device may act (rewind a tape, take a terminal), so what already stands there is
    // looked at first.
    struct stat before
    {
    };
    if (::fstatat(dirFd, szPath, &before, iLinkFlag) == 0 && !S_ISREG(before.st_mode))
        return Refused({}, S_ISLNK(before.st_mode) ? ELOOP : EACCES);
    const int iOpenFlags = iFlags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == LinkPolicy::Refuse ? O_NOFOLLOW : 0);
    CAutoFileHandle file(::openat(dirFd, szPath, iOpenFlags, mode));
    if (!file)
        return {};
    // The name may have changed hands in between: the descriptor decides.
    struct stat opened
    {
    };
    if (::fstat(file.Get(), &opened) != 0)
        return Refused(std::move(file), errno);
    if (!S_ISREG(opened.st_mode))
        return Refused(std::move(file), EACCES);
    return file;
}

CAutoFileHandle OpenFolderMakingMissing(const std::filesystem::path& folder)
{
    constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    CAutoFileHandle current(::open(folder.is_absolute() ? "/" : ".", kFolderFlags));
    for (const std::filesystem::path& part : folder.relative_path()) {
        if (!current)
            return {};
        if (part.empty() || part == ".")
            continue;
        CAutoFileHandle next(::openat(current.Get(), part.c_str(), kFolderFlags));
        if (!next && errno == ENOENT) {
            // Made by someone else meanwhile is as good as made here.
            if (::mkdirat(current.Get(), part.c_str(), 0777) != 0 && errno != EEXIST)
                return {};
            next.Reset(::openat(current.Get(), part.c_str(), kFolderFlags));
        }
        current = std::move(next);
    }
    return current;
}

} // namespace platform
