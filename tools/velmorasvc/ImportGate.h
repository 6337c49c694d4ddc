#pragma once
// A gate before the imports, for tests that stop a run at a place of their choosing whatever the
// load of the machine: each import says on standard output that it has come, then waits for one
// byte from a named pipe that the test writes to let it through.

#include "common/HandleOwners.h"

#include <filesystem>
#include <string_view>

namespace Velmorasvc {

class CImportGate
{
public:
    // Opens the named pipe (opened for writing too, so that opening never waits for the test);
    // throws std::runtime_error when it is no named pipe.
    explicit CImportGate(const std::filesystem::path& pipe);

    // Writes "velmorasvc: importing NAME" and waits until the test lets the import through.
    void Pass(std::string_view strFileName);

private:
    CAutoFileHandle m_pipe;
};

} // namespace Velmorasvc
