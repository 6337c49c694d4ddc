#include "FolderScan.h"

#include <algorithm>
#include <dirent.h>
#include <memory>

namespace Vaultdump {

bool IsTmpName(std::string_view strName)
{
    constexpr std::string_view kExtension = ".tmp";
    if (strName.size() < kExtension.size())
        return false;
    const std::string_view strTail = strName.substr(strName.size() - kExtension.size());
    return std::equal(strTail.begin(), strTail.end(), kExtension.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
}

bool ListTmpEntries(const std::string& strFolder, std::vector<std::string>& names)
{
    names.clear();
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(strFolder.c_str()), &::closedir);
    if (!folder)
        return false;
    while (const dirent* pEntry = ::readdir(folder.get())) {
        const std::string_view strName(pEntry->d_name);
        if (strName == "." || strName == "..")
            continue;
        if (IsTmpName(strName))
            names.emplace_back(strName);
    }
    std::sort(names.begin(), names.end());
    return !names.empty();
}

} // namespace Vaultdump
