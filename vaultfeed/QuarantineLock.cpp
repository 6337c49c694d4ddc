#include "QuarantineLock.h"

#include "common/ComError.h"
#include "platform/Win32Error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace Vaultfeed {

CQuarantineLock::CQuarantineLock(const std::string& strFolder)
    : m_folder(::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (!m_folder)
        throw UTIL::COM::_com_error(platform::HResultFromErrno(errno));
    if (::flock(m_folder.Get(), LOCK_EX | LOCK_NB) == 0)
        return;
    if (errno != EWOULDBLOCK)
        throw UTIL::COM::_com_error(platform::HResultFromErrno(errno));
    throw UTIL::COM::_com_error(HRESULT_FROM_WIN32(platform::ERROR_BUSY), L"",
                                L"Another import is working on the quarantine folder.");
}

} // namespace Vaultfeed
