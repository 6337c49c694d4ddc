#include "vaultfeed/FileOperations.h"

#include "common/HandleOwners.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vaultfeed {
namespace {

// The most one sendfile call moves.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

DWORD LastError()
{
    return platform::Win32ErrorFromErrno(errno);
}

std::string FolderOf(const std::string& strPath)
{
    const std::size_t iSlash = strPath.rfind('/');
    if (iSlash == std::string::npos)
        return ".";
    return iSlash == 0 ? "/" : strPath.substr(0, iSlash);
}

// A new file in a folder that gets its name only when published. Where the file system cannot
// make a file without a name, it is made under a hidden temporary name, removed again unless the
// file is published.
class CUnpublishedFile
{
public:
    CUnpublishedFile() = default;
    CUnpublishedFile(const CUnpublishedFile&) = delete;
    CUnpublishedFile& operator=(const CUnpublishedFile&) = delete;
    ~CUnpublishedFile()
    {
        if (!m_strTemporaryName.empty())
            ::unlink(m_strTemporaryName.c_str());
    }

    DWORD Create(const std::string& strFolder, mode_t mode)
    {
        m_file.Reset(::open(strFolder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (m_file)
            return platform::ERROR_SUCCESS;
        if (errno != EOPNOTSUPP && errno != EISDIR)
            return LastError();
        std::string strTemplate = strFolder + "/.vaultfeed-copy-XXXXXX";
        m_file.Reset(::mkostemp(strTemplate.data(), O_CLOEXEC));
        if (!m_file)
            return LastError();
        m_strTemporaryName = std::move(strTemplate);
        ::fchmod(m_file.Get(), mode);
        return platform::ERROR_SUCCESS;
    }

    int Get() const { return m_file.Get(); }

    // Gives the whole file its name, and copy the file; ERROR_FILE_EXISTS when that name is taken.
    // The file is closed once (a second descriptor is what copy holds), since a failure to close
    // may report a failed write; that takes the name away again.
    DWORD Publish(const std::string& strTarget, CMadeCopy& copy)
    {
        CAutoFileHandle held(::fcntl(m_file.Get(), F_DUPFD_CLOEXEC, 0));
        if (!held)
            return LastError();
        if (!m_strTemporaryName.empty()) {
            if (::close(m_file.Release()) != 0)
                return LastError();
            if (::link(m_strTemporaryName.c_str(), strTarget.c_str()) != 0)
                return LastError();
            copy = CMadeCopy(std::move(held));
            return platform::ERROR_SUCCESS;
        }
        // A file without a name can be linked only while it is open.
        const std::string strSelf = "/proc/self/fd/" + std::to_string(m_file.Get());
        if (::linkat(AT_FDCWD, strSelf.c_str(), AT_FDCWD, strTarget.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return LastError();
        CMadeCopy made(std::move(held));
        if (::close(m_file.Release()) != 0) {
            const DWORD dwError = LastError();
            DeleteCopy(strTarget, made);
            return dwError;
        }
        copy = std::move(made);
        return platform::ERROR_SUCCESS;
    }

private:
    CAutoFileHandle m_file;
    std::string m_strTemporaryName;
};

// Moves the whole of the source into the target inside the kernel.
DWORD CopyContent(int fdSource, int fdTarget)
{
    for (;;) {
        const ssize_t cbMoved = ::sendfile(fdTarget, fdSource, nullptr, kMaxTransfer);
        if (cbMoved == 0)
            return platform::ERROR_SUCCESS;
        if (cbMoved < 0 && errno != EINTR)
            return LastError();
    }
}

} // namespace

bool CMadeCopy::IsNamedBy(const std::string& strPath) const
{
    struct stat named
    {
    };
    struct stat made
    {
    };
    return m_file && ::lstat(strPath.c_str(), &named) == 0 && ::fstat(m_file.Get(), &made) == 0 &&
           named.st_dev == made.st_dev && named.st_ino == made.st_ino;
}

DWORD CopyFileNoReplace(const std::string& strSource, const std::string& strTarget, CMadeCopy& copy)
{
    // Checked first so that a file already in place is not copied for nothing; publishing the copy
    // checks again, for a target that appears meanwhile.
    struct stat status
    {
    };
    if (::lstat(strTarget.c_str(), &status) == 0)
        return platform::ERROR_FILE_EXISTS;
    const CAutoFileHandle source(::open(strSource.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!source)
        return LastError();
    if (::fstat(source.Get(), &status) != 0)
        return LastError();
    if (!S_ISREG(status.st_mode))
        return platform::ERROR_ACCESS_DENIED;
    CUnpublishedFile target;
    DWORD dwError = target.Create(FolderOf(strTarget), status.st_mode & 0777);
    if (dwError == platform::ERROR_SUCCESS)
        dwError = CopyContent(source.Get(), target.Get());
    if (dwError == platform::ERROR_SUCCESS)
        dwError = target.Publish(strTarget, copy);
    return dwError;
}

void DeleteCopy(const std::string& strPath, const CMadeCopy& copy)
{
    if (copy.IsNamedBy(strPath))
        ::unlink(strPath.c_str());
}

bool MoveFileReplacing(const std::string& strFrom, const std::string& strTo)
{
    return ::rename(strFrom.c_str(), strTo.c_str()) == 0;
}

} // namespace Vaultfeed
