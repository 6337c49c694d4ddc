#pragma once
// What the server received, one line per event, each line prefixed with the number of its
// connection ("#1 "). Written as it happens, so that a test can read it while the client runs.
// Control characters of received text are escaped; passwords are never written.

#include "common/HandleOwners.h"

#include <filesystem>
#include <mutex>
#include <string_view>

namespace TdsServer {

class CTranscript
{
public:
    // Throws std::runtime_error when the file cannot be created.
    explicit CTranscript(const std::filesystem::path& file);

    void Write(unsigned uConnection, std::wstring_view line);

private:
    std::mutex m_lock;
    CAutoFileHandle m_file;
};

} // namespace TdsServer
