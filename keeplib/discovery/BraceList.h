#pragma once
// The list of servers in a browse text: the items of its first brace list.

#include <string>
#include <string_view>
#include <vector>

namespace Keeplibs {

// "," ends an item and the first "}" ends the last one; items stand exactly as written. Text
// after the last separator is no item, so a list without its "}" loses its last entry; a text
// without "{" has no items.
std::vector<std::wstring> BraceListItems(std::wstring_view text);

} // namespace Keeplibs
