#include "Transcript.h"

#include "common/StringUtils.h"

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace TdsServer {

CTranscript::CTranscript(const std::filesystem::path& file)
    : m_file(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600))
{
    if (!m_file)
        throw std::runtime_error("cannot create the transcript " + file.string());
}

void CTranscript::Write(unsigned uConnection, std::wstring_view line)
{
    const std::string strLine = FormatA("#%u %s\n", uConnection, WideToNarrow(EscapeControlCharacters(line)).c_str());
    const std::lock_guard guard(m_lock);
    // One write per line, appended: a reader never sees half a line of another connection.
    if (::write(m_file.Get(), strLine.data(), strLine.size()) < 0)
        throw std::runtime_error("cannot write the transcript");
}

} // namespace TdsServer
