#include "ServerNameSet.h"

#include "common/StringUtils.h"
#include "trace/ICDebug.h"

namespace Keeplibs {

void CServerNameSet::Insert(const std::wstring& strName)
{
    // A line end would forge another line of the list, an escape sequence reach the terminal that
    // shows it; no server is named so.
    if (const std::wstring strEscaped = EscapeControlCharacters(strName); strEscaped != strName) {
        TRACE_WARNING(TRACE_NORMAL, L"Leaving out %ls: a server name holds no control characters.", strEscaped.c_str());
        return;
    }
    if (!m_names.insert(strName).second)
        TRACE_INFO(TRACE_NORMAL, L"Adding %ls failed - it already exists in the output values", strName.c_str());
}

bool CServerNameSet::WriteTo(std::FILE* pFile) const
{
    for (const std::wstring& strName : m_names) {
        const std::string strLine = WideToNarrow(strName) + "\n";
        if (std::fwrite(strLine.data(), 1, strLine.size(), pFile) != strLine.size())
            return false;
    }
    return std::fflush(pFile) == 0;
}

} // namespace Keeplibs
