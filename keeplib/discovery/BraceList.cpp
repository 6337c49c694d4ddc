#include "BraceList.h"

namespace Keeplibs {

std::vector<std::wstring> BraceListItems(std::wstring_view text)
{
    std::vector<std::wstring> items;
    const auto open = text.find(L'{');
    if (open == std::wstring_view::npos)
        return items;
    std::size_t start = open + 1;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] != L',' && text[i] != L'}')
            continue;
        items.emplace_back(text.substr(start, i - start));
        if (text[i] == L'}')
            break;
        start = i + 1;
    }
    return items;
}

} // namespace Keeplibs
