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

} // namespace

CTdsTestServer::CTdsTestServer(const std::filesystem::path& serverProgram, const std::filesystem::path& folder,
                               const std::string& strName, const std::string& strRules)
    : m_transcript(folder / (strName + ".transcript")),
      m_program(serverProgram,
                {"--rules", WriteRules(folder, strName, strRules).string(), "--transcript", m_transcript.string()})
{
    const std::optional<std::string> address = m_program.ReadLine(std::chrono::seconds(10));
    if (!address || !address->starts_with("127.0.0.1,"))
        throw std::runtime_error("the TDS test server did not start: " + m_program.Wait().strStderr);
    m_strServer = *address;
}

} // namespace testsupport
