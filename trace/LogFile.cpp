#include "LogFile.h"

#include "platform/SafeFiles.h"

#include <sys/stat.h>
#include <unistd.h>

CAutoFileHandle OpenNamedLogFile(const std::filesystem::path& path)
{
    const CAutoFileHandle folder = platform::OpenFolderMakingMissing(path.parent_path());
    if (!folder)
        return {};
    CAutoFileHandle file = platform::OpenRegularFile(
        folder.Get(), path.filename().c_str(), O_WRONLY | O_CREAT | kLogFileFlags, platform::LinkPolicy::Refuse, 0600);
    struct stat info
    {
    };
    if (!file || ::fstat(file.Get(), &info) != 0 || info.st_uid != ::geteuid() || info.st_nlink != 1)
        return {};
    return file;
}
