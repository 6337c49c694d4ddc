#pragma once
// What the vaultfeed tests share about folders: writing entries of every kind, and listing what a
// folder holds afterwards.

#include "common/StringUtils.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace VaultfeedTests {

inline void WriteFile(const std::filesystem::path& path, const std::string& strBytes)
{
    std::ofstream(path, std::ios::binary) << strBytes;
}

// "Q<number>.tmp": a name the import takes.
inline std::string QuarantineName(int iNumber)
{
    return "Q" + std::to_string(iNumber) + ".tmp";
}

inline void MakeFifo(const std::filesystem::path& path)
{
    ::mkfifo(path.c_str(), 0600);
}

// The entries of a folder in name order: folders end with "/", links with "@", pipes with "|",
// files with "=" and their content.
inline std::vector<std::string> FolderEntries(const std::filesystem::path& folder)
{
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string strEntry = entry.path().filename().string();
        if (entry.is_symlink())
            strEntry += "@";
        else if (entry.is_directory())
            strEntry += "/";
        else if (entry.is_fifo())
            strEntry += "|";
        else {
            std::ifstream file(entry.path(), std::ios::binary);
            strEntry += '=';
            strEntry.append(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
        entries.push_back(std::move(strEntry));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

inline std::wstring WidePath(const std::filesystem::path& path)
{
    return NarrowToWide(path.string());
}

} // namespace VaultfeedTests
