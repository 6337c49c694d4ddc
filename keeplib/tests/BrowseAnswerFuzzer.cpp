// Feeds arbitrary datagrams to the parser of server resolution answers, and checks that every
// name it lets through comes back, whole and alone, from the browse list the library reads; and
// feeds the same bytes, as text, to the brace-list scan.

#include "common/StringUtils.h"
#include "discovery/BraceList.h"
#include "platform/browse/ResolutionProtocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    const std::span<const std::uint8_t> datagram(pData, cbData);
    if (const auto answer = platform::browse::ParseResolutionAnswer(datagram)) {
        if (Keeplibs::BraceListItems(platform::browse::BrowseText(answer->names)) != answer->names)
            std::abort();
    }
    const std::wstring strText = NarrowToWide(std::string_view(reinterpret_cast<const char*>(pData), cbData));
    std::size_t cchItems = 0;
    for (const std::wstring& strItem : Keeplibs::BraceListItems(strText))
        cchItems += strItem.size() + 1;
    if (cchItems > strText.size())
        std::abort();
    return 0;
}
