#pragma once
// The TDS test server of tools/ for one test: started on a free port of 127.0.0.1 with the rules
// given, its transcript in the test's folder, stopped when the object goes.

#include "testsupport/RunProgram.h"

#include <filesystem>
#include <string>

namespace testsupport {

class CTdsTestServer
{
public:
    // Throws std::runtime_error when the server does not start.
    CTdsTestServer(const std::filesystem::path& serverProgram, const std::filesystem::path& folder,
                   const std::string& strName, const std::string& strRules);

    // "127.0.0.1,<port>", as a data source names it.
    const std::string& Server() const { return m_strServer; }
    // What the server received so far, one line per event.
    std::string Transcript() const { return ReadFile(m_transcript); }

private:
    std::filesystem::path m_transcript;
    CRunningProgram m_program;
    std::string m_strServer;
};

} // namespace testsupport
