#include "ImportGate.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace Velmorasvc {

CImportGate::CImportGate(const std::filesystem::path& pipe) : m_pipe(::open(pipe.c_str(), O_RDWR | O_CLOEXEC))
{
    struct stat status
    {
    };
    if (!m_pipe || ::fstat(m_pipe.Get(), &status) != 0 || !S_ISFIFO(status.st_mode))
        throw std::runtime_error("the import gate " + pipe.string() + " is no named pipe");
}

void CImportGate::Pass(std::string_view strFileName)
{
    std::printf("velmorasvc: importing %.*s\n", static_cast<int>(strFileName.size()), strFileName.data());
    std::fflush(stdout);
    char byte = 0;
    while (::read(m_pipe.Get(), &byte, 1) < 0 && errno == EINTR) {
    }
}

} // namespace Velmorasvc
