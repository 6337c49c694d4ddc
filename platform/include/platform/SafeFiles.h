#pragma once
// Opening files in folders where other accounts may have planted something: a symbolic link to
// somewhere else, a pipe that blocks whoever opens it, a device that acts when it is opened.

#include "common/HandleOwners.h"

#include <filesystem>
#include <sys/types.h>

namespace platform {

enum class LinkPolicy {
    Refuse, // a name that is a symbolic link fails with ELOOP
    Follow, // for files named by their owner's own configuration
};

// Opens the regular file at szPath (relative to the folder dirFd, or AT_FDCWD) with iFlags, and
// never blocks doing so. Anything other than a regular file is refused with EACCES, before it is
// opened whenever it already stands there, and in any case before the descriptor is handed out.
// An empty handle with errno set on failure.
CAutoFileHandle OpenRegularFile(int dirFd, const char* szPath, int iFlags, LinkPolicy links, mode_t mode = 0);

// Opens the folder, making the folders that are missing one level at a time, never through a
// symbolic link: a link planted on the way cannot make the caller create or open files elsewhere.
// A descriptor for the *at calls (O_PATH); an empty handle with errno set on failure, ENOTDIR for
// a link or a file on the way.
CAutoFileHandle OpenFolderMakingMissing(const std::filesystem::path& folder);

} // namespace platform
