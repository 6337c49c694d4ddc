#include "testsupport/TdsTestServer.h"

#include <fstream>
#include <stdexcept>

namespace testsupport {

namespace {

std::filesystem::path WriteRules(const std::filesystem::path& folder, const std::string& strName,
                                 const std::string& strRules)
{
    const std::filesystem::path rules = folder / (strName + ".rules");
    std::ofstream(rules, std::ios::binary) << strRules;
    return rules;
}

// The server lives as long as the test's object, which stops it: no idle time of its own may end it,
// or let a client go, while a loaded machine holds the test or the client back.
constexpr const char* kADay = "86400";

} // namespace

CTdsTestServer::CTdsTestServer(const std::filesystem::path& serverProgram, const std::filesystem::path& folder,
                               const std::string& strName, const std::string& strRules)
    : m_transcript(folder / (strName + ".transcript")),
      m_program(serverProgram, {"--rules", WriteRules(folder, strName, strRules).string(), "--transcript",
                                m_transcript.string(), "--idle-seconds", kADay})
{
    const std::optional<std::string> address = m_program.ReadLine(kProgramHangGuard);
    if (!address || !address->starts_with("127.0.0.1,"))
        throw std::runtime_error("the TDS test server did not start: " + m_program.Wait().strStderr);
    m_strServer = *address;
}

} // namespace testsupport
