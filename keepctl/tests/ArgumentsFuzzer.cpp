// Feeds arbitrary command lines to keepctl's parser: the bytes are split at zero bytes into
// arguments after the program name.

#include "KeepctlArguments.h"
#include "common/StringUtils.h"

#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    // The parser prints its complaints; nobody reads them here.
    static const bool bQuiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)bQuiet;
    std::vector<std::wstring> arguments{L"keepctl"};
    std::string strCurrent;
    for (std::size_t i = 0; i <= cbData; ++i) {
        if (i == cbData || pData[i] == 0) {
            arguments.push_back(NarrowToWide(strCurrent));
            strCurrent.clear();
        } else {
            strCurrent += static_cast<char>(pData[i]);
        }
    }
    std::vector<const wchar_t*> argv;
    for (const auto& argument : arguments)
        argv.push_back(argument.c_str());
    KeepctlArguments parsed;
    parsed.ReadArguments(static_cast<int>(argv.size()), argv.data());
    return 0;
}
