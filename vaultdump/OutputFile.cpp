#include "OutputFile.h"

#include "InterruptCleanup.h"
#include "platform/TempFile.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Vaultdump {
namespace {

using platform::HResultFromErrno;

// A failed close can mean lost data on some file systems: it counts as a failed write.
HRESULT CloseChecked(CAutoFileHandle file)
{
    return ::close(file.Release()) == 0 ? S_OK : HResultFromErrno(errno);
}

} // namespace

HRESULT COutputFile::Reserve(const std::string& strFolder, std::optional<COutputFile>& outputOut)
{
    const CInterruptsHeld held;
    std::filesystem::path path;
    CAutoFileHandle reserved;
    // The item goes through a descriptor made here, never through the name: in a folder others
    // can write to, the name may point at someone else's file by the time it is opened again.
    if (const DWORD dwError = platform::CreateTempFile(strFolder, L"EXT", path, reserved);
        dwError != platform::ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(dwError);
    CAutoFileHandle item(::open(strFolder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    SetPendingOutput(path.native());
    outputOut.emplace(COutputFile(std::move(path), std::move(reserved), std::move(item)));
    return S_OK;
}

COutputFile::COutputFile(std::filesystem::path path, CAutoFileHandle reserved, CAutoFileHandle item)
    : m_path(std::move(path)), m_reserved(std::move(reserved)), m_item(std::move(item))
{
    NoteFileAtName(m_reserved.Get());
}

COutputFile::COutputFile(COutputFile&& other) noexcept
    : m_path(std::move(other.m_path)), m_reserved(std::move(other.m_reserved)), m_item(std::move(other.m_item)),
      m_device(other.m_device), m_inode(other.m_inode), m_bPublished(std::exchange(other.m_bPublished, true)),
      m_bPending(std::exchange(other.m_bPending, false))
{
}

COutputFile::~COutputFile()
{
    if (!m_bPending)
        return;
    const CInterruptsHeld held;
    if (!m_bPublished && HoldsOurFile())
        ::unlink(m_path.c_str());
    ClearPendingOutput();
}

bool COutputFile::HoldsOurFile() const
{
    struct stat atName
    {
    };
    return ::lstat(m_path.c_str(), &atName) == 0 && atName.st_dev == m_device && atName.st_ino == m_inode;
}

void COutputFile::NoteFileAtName(int fd)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) == 0) {
        m_device = info.st_dev;
        m_inode = info.st_ino;
    }
}

HRESULT COutputFile::Publish()
{
    const CInterruptsHeld held;
    if (!HoldsOurFile())
        return HRESULT_FROM_WIN32(platform::ERROR_FILE_EXISTS);
    HRESULT hr = S_OK;
    if (m_item) {
        // The empty reserved file gives way to the item: a link, not a rename over it, which
        // the file system would take for a rewrite and flush the whole item to disk for.
        const std::string strItem = "/proc/self/fd/" + std::to_string(m_item.Get());
        if (::unlink(m_path.c_str()) != 0 ||
            ::linkat(AT_FDCWD, strItem.c_str(), AT_FDCWD, m_path.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return HResultFromErrno(errno);
        NoteFileAtName(m_item.Get());
        hr = CloseChecked(std::move(m_item));
    }
    if (SUCCEEDED(hr))
        hr = CloseChecked(std::move(m_reserved));
    if (FAILED(hr))
        return hr;
    m_bPublished = true;
    return S_OK;
}

} // namespace Vaultdump
