// Feeds arbitrary bytes, read as UTF-8, to the configuration text parser. A text it refuses names
// a line that exists; a text it takes gives back, for a name it holds, what the last line said.

#include "ServiceConfig.h"
#include "common/StringUtils.h"

#include <algorithm>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    const std::wstring strText = NarrowToWide(std::string(reinterpret_cast<const char*>(pData), cbData));
    int iBadLine = 0;
    const std::optional<Velmorasvc::CConfigValues> values = Velmorasvc::CConfigValues::Parse(strText, iBadLine);
    const long nLines = 1 + static_cast<long>(std::count(strText.begin(), strText.end(), L'\n'));
    if (!values && (iBadLine < 1 || iBadLine > nLines))
        std::abort();
    if (values && values->Find(Velmorasvc::kQuarantineFolderName) != values->Find(L"QUARANTINEFOLDER"))
        std::abort();
    return 0;
}
