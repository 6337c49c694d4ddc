#include "DriverSocket.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <vector>

namespace platform::ado::odbc {
namespace {

struct StreamSocket
{
    int fd;
    ino_t inode;
};

bool IsInternetStream(int fd)
{
    int iType = 0;
    int iDomain = 0;
    socklen_t cb = sizeof iType;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &iType, &cb) != 0 || iType != SOCK_STREAM)
        return false;
    cb = sizeof iDomain;
    return ::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &iDomain, &cb) == 0 && (iDomain == AF_INET || iDomain == AF_INET6);
}

// The process's stream sockets as its descriptor table shows them now.
std::vector<StreamSocket> StreamSockets()
{
    std::vector<StreamSocket> sockets;
    const std::unique_ptr<DIR, int (*)(DIR*)> table(::opendir("/proc/self/fd"), &::closedir);
    if (!table)
        return sockets;
    const int fdTable = ::dirfd(table.get());
    while (const dirent* pEntry = ::readdir(table.get())) {
        const std::string_view name(pEntry->d_name);
        if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        const int fd = std::atoi(pEntry->d_name);
        struct stat info
        {
        };
        if (fd != fdTable && ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode) && IsInternetStream(fd))
            sockets.push_back({fd, info.st_ino});
    }
    return sockets;
}

} // namespace

CDriverSocket::Snapshot CDriverSocket::TakeSnapshot()
{
    Snapshot inodes;
    for (const StreamSocket& socket : StreamSockets())
        inodes.insert(socket.inode);
    return inodes;
}

std::optional<CDriverSocket> CDriverSocket::OpenedSince(const Snapshot& before)
{
    std::optional<StreamSocket> found;
    for (const StreamSocket& socket : StreamSockets()) {
        if (before.contains(socket.inode))
            continue;
        if (found)
            return std::nullopt;
        found = socket;
    }
    if (!found)
        return std::nullopt;
    // The descriptor may have been closed, and its number given to another socket, since the
    // table was read: the copy is kept only when it is still the socket that was found.
    CAutoFileHandle copy(::fcntl(found->fd, F_DUPFD_CLOEXEC, 0));
    struct stat info
    {
    };
    if (!copy || ::fstat(copy.Get(), &info) != 0 || info.st_ino != found->inode)
        return std::nullopt;
    return CDriverSocket(std::move(copy));
}

void CDriverSocket::Sever() const noexcept
{
    ::shutdown(m_descriptor.Get(), SHUT_RDWR);
}

} // namespace platform::ado::odbc
