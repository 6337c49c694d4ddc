#include "Console.h"

#include "common/StringUtils.h"

#include <cstdio>

namespace Keepctl {

void Print(std::wstring_view text)
{
    const std::string strBytes = WideToNarrow(text);
    std::fwrite(strBytes.data(), 1, strBytes.size(), stdout);
    std::fflush(stdout);
}

} // namespace Keepctl
