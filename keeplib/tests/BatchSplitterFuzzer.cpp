// Feeds arbitrary text to the batch splitter and checks that the batches it cuts, joined with
// what it drops, never reach past the text and always move forward.

#include "common/StringUtils.h"
#include "database/DBScriptHelper.h"

#include <cstdlib>
#include <cwchar>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    const std::wstring strText = UTIL::STR::Utf16LeToWide(std::span(pData, cbData));
    const wchar_t* pCursor = strText.c_str();
    // A script is a zero-terminated text: it ends at its first zero character.
    const wchar_t* const pEnd = strText.c_str() + std::wcslen(strText.c_str());
    std::wstring strBatch;
    std::size_t cchBatches = 0;
    while (DBScriptHelper::GetNextBatch(pCursor, strBatch) == S_OK) {
        if (strBatch.empty() || pCursor > pEnd)
            std::abort();
        cchBatches += strBatch.size();
    }
    if (pCursor != pEnd || cchBatches > static_cast<std::size_t>(pEnd - strText.c_str()))
        std::abort();
    return 0;
}
