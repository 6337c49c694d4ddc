#pragma once
// Opening the file a trace log writes to at the name the registry gives. Such a name can be
// guessed (a base, the process and the time of opening), so whatever others may have planted
// there is refused.

#include "common/HandleOwners.h"

#include <fcntl.h>
#include <filesystem>

// Write-through and append, so that every line is on disk before the call returns and two
// processes sharing a file never overwrite each other's lines.
constexpr int kLogFileFlags = O_APPEND | O_DSYNC;

// Log files often sit in folders such as /tmp: the missing folders are made, and the file opened
// for appending, without following a link, waiting on a pipe or opening a device. A file that is
// already there is used only when it is a regular file of this account with no other name; one
// planted by another account would receive the whole trace. A new file is readable by its owner
// only. An empty handle when the file cannot be had.
CAutoFileHandle OpenNamedLogFile(const std::filesystem::path& path);
