#include "platform/Registry.h"

#include "common/CharacterClass.h"
#include "common/StringUtils.h"
#include "platform/SafeFiles.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using UTIL::STR::UpperCase;

constexpr std::wstring_view kRoot = L"HKEY_LOCAL_MACHINE";
// A registry file larger than this is no export this system reads: it counts as unreadable rather
// than filling memory.
constexpr std::size_t kMaxFileSize = std::size_t{4} << 20;

std::wstring_view Trim(std::wstring_view s)
{
    const auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r'; };
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::wstring DecodeFileText(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return UTIL::STR::Utf16LeToWide(bytes.subspan(2));
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        bytes = bytes.subspan(3);
    return NarrowToWide(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Reads a quoted string with \\ and \" escapes from the start of s; advances s past it.
std::optional<std::wstring> TakeQuoted(std::wstring_view& s)
{
    if (s.empty() || s.front() != L'"')
        return std::nullopt;
    std::wstring strText;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i] == L'\\' && i + 1 < s.size()) {
            strText += s[++i];
        } else if (s[i] == L'"') {
            s.remove_prefix(i + 1);
            return strText;
        } else {
            strText += s[i];
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ParseHex(std::wstring_view s, std::size_t nMaxDigits)
{
    if (s.empty() || s.size() > nMaxDigits)
        return std::nullopt;
    std::uint32_t uValue = 0;
    for (const wchar_t c : s) {
        const int iDigit = UTIL::STR::IsDigit(c)      ? c - L'0'
                           : (c >= L'a' && c <= L'f') ? c - L'a' + 10
                           : (c >= L'A' && c <= L'F') ? c - L'A' + 10
                                                      : -1;
        if (iDigit < 0)
            return std::nullopt;
        uValue = uValue * 16 + static_cast<std::uint32_t>(iDigit);
    }
    return uValue;
}

std::vector<std::uint8_t> LittleEndian(std::uint32_t uValue)
{
    return {static_cast<std::uint8_t>(uValue), static_cast<std::uint8_t>(uValue >> 8),
            static_cast<std::uint8_t>(uValue >> 16), static_cast<std::uint8_t>(uValue >> 24)};
}

// "text", dword:0000000c, hex:01,02 or hex(7):..., as the Registry Editor writes them.
std::optional<RegistryValue> ParseValueData(std::wstring_view s)
{
    if (auto text = TakeQuoted(s)) {
        if (!Trim(s).empty())
            return std::nullopt;
        auto data = UTIL::STR::WideToUtf16Le(*text);
        data.insert(data.end(), {0, 0});
        return RegistryValue{REG_SZ, std::move(data)};
    }
    if (s.starts_with(L"dword:")) {
        const auto value = ParseHex(s.substr(6), 8);
        if (!value)
            return std::nullopt;
        return RegistryValue{REG_DWORD, LittleEndian(*value)};
    }
    DWORD dwType = REG_BINARY;
    if (s.starts_with(L"hex(")) {
        const auto close = s.find(L"):");
        const auto type = close == std::wstring_view::npos ? std::nullopt : ParseHex(s.substr(4, close - 4), 8);
        if (!type)
            return std::nullopt;
        dwType = *type;
        s.remove_prefix(close + 2);
    } else if (s.starts_with(L"hex:")) {
        s.remove_prefix(4);
    } else {
        return std::nullopt;
    }
    RegistryValue value{dwType, {}};
    while (!(s = Trim(s)).empty()) {
        const auto comma = s.find(L',');
        const auto byte = ParseHex(Trim(s.substr(0, comma)), 2);
        if (!byte)
            return std::nullopt;
        value.data.push_back(static_cast<std::uint8_t>(*byte));
        s.remove_prefix(comma == std::wstring_view::npos ? s.size() : comma + 1);
    }
    return value;
}

// The path below the root of a key line's name, as written, or nothing for another root.
std::optional<std::wstring> PathBelowRoot(std::wstring_view name)
{
    const std::wstring strUpper = UpperCase(name);
    if (strUpper == kRoot)
        return std::wstring();
    if (strUpper.size() > kRoot.size() && strUpper.starts_with(kRoot) && strUpper[kRoot.size()] == L'\\')
        return std::wstring(name.substr(kRoot.size() + 1));
    return std::nullopt;
}

// Reads the whole file. Only a regular file of at most kMaxFileSize bytes is read, and nothing is
// waited on: a pipe or a device named here would hold up every program before its main function
// runs. ERROR_FILE_NOT_FOUND when there is no file; ERROR_REGISTRY_IO_FAILED when there is one that
// cannot be read or is no export. Not ERROR_ACCESS_DENIED: that would say of every key that it
// exists and is only closed to the caller, and a question such as "is this instance installed"
// would be answered yes for any name instead of failing.
DWORD ReadRegistryFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes)
{
    const CAutoFileHandle file = OpenRegularFile(AT_FDCWD, path.c_str(), O_RDONLY, LinkPolicy::Follow);
    if (!file)
        return errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND : ERROR_REGISTRY_IO_FAILED;
    // Counted as it is read, so that a file that grows meanwhile is held to the limit too.
    std::array<std::uint8_t, 64 * 1024> block{};
    for (;;) {
        const ssize_t cb = ::read(file.Get(), block.data(), block.size());
        if (cb < 0 && errno == EINTR)
            continue;
        if (cb < 0)
            return ERROR_REGISTRY_IO_FAILED;
        if (cb == 0)
            return ERROR_SUCCESS;
        if (bytes.size() + static_cast<std::size_t>(cb) > kMaxFileSize)
            return ERROR_REGISTRY_IO_FAILED;
        bytes.insert(bytes.end(), block.begin(), block.begin() + cb);
    }
}

} // namespace

RegistryContents RegistryContents::Parse(std::span<const std::uint8_t> fileBytes)
{
    const std::wstring strText = DecodeFileText(fileBytes);
    RegistryContents contents;
    std::optional<std::wstring> currentKey;
    std::wstring strPending; // a value continued over several lines with a trailing backslash
    std::size_t start = 0;
    while (start <= strText.size()) {
        const std::size_t end = std::min(strText.find(L'\n', start), strText.size());
        const std::wstring_view line = Trim(std::wstring_view(strText).substr(start, end - start));
        start = end + 1;
        if (!strPending.empty() || (!line.empty() && line.back() == L'\\' && line.front() == L'"')) {
            strPending += line;
            if (!strPending.empty() && strPending.back() == L'\\') {
                strPending.pop_back();
                continue;
            }
            contents.ApplyLine(strPending, currentKey);
            strPending.clear();
            continue;
        }
        contents.ApplyLine(line, currentKey);
    }
    return contents;
}

void RegistryContents::ApplyLine(std::wstring_view line, std::optional<std::wstring>& currentKey)
{
    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
        const bool bDelete = line[1] == L'-';
        const auto path = PathBelowRoot(line.substr(bDelete ? 2 : 1, line.size() - (bDelete ? 3 : 2)));
        currentKey = path ? std::optional(UpperCase(*path)) : std::nullopt;
        if (currentKey && bDelete) {
            EraseKeyAndBelow(*currentKey);
            currentKey.reset();
        } else if (currentKey) {
            Key& key = m_keys[*currentKey];
            if (key.strPath.empty())
                key.strPath = *path;
        }
        return;
    }
    if (!currentKey || line.empty())
        return;
    std::optional<std::wstring> name;
    if (line.front() == L'@') {
        name = std::wstring();
        line.remove_prefix(1);
    } else {
        name = TakeQuoted(line);
    }
    line = Trim(line);
    if (!name || line.empty() || line.front() != L'=')
        return;
    line = Trim(line.substr(1));
    auto& values = m_keys[*currentKey].values;
    if (line == L"-") {
        values.erase(UpperCase(*name));
    } else if (auto value = ParseValueData(line)) {
        values[UpperCase(*name)] = std::move(*value);
    }
}

void RegistryContents::EraseKeyAndBelow(const std::wstring& strPath)
{
    if (strPath.empty()) {
        m_keys.clear();
        return;
    }
    m_keys.erase(strPath);
    // The keys below it sort together, right after the path and its separator.
    const std::wstring strPrefix = strPath + L'\\';
    const auto first = m_keys.lower_bound(strPrefix);
    auto last = first;
    while (last != m_keys.end() && last->first.starts_with(strPrefix))
        ++last;
    m_keys.erase(first, last);
}

bool RegistryContents::HasKey(std::wstring_view keyPath) const
{
    const std::wstring strPath = UpperCase(keyPath);
    if (strPath.empty() || m_keys.contains(strPath))
        return true;
    // A key also exists when only keys below it are named.
    const std::wstring strPrefix = strPath + L'\\';
    const auto it = m_keys.lower_bound(strPrefix);
    return it != m_keys.end() && it->first.starts_with(strPrefix);
}

const RegistryValue* RegistryContents::FindValue(std::wstring_view keyPath, std::wstring_view valueName) const
{
    const auto key = m_keys.find(UpperCase(keyPath));
    if (key == m_keys.end())
        return nullptr;
    const auto value = key->second.values.find(UpperCase(valueName));
    return value == key->second.values.end() ? nullptr : &value->second;
}

std::vector<std::wstring> RegistryContents::SubkeyNames(std::wstring_view keyPath) const
{
    const std::wstring strUpper = UpperCase(keyPath);
    const std::wstring strPrefix = strUpper.empty() ? strUpper : strUpper + L'\\';
    std::vector<std::wstring> names;
    for (auto it = m_keys.lower_bound(strPrefix); it != m_keys.end() && it->first.starts_with(strPrefix); ++it) {
        // The first component below the key, spelt as this key's path spells it.
        const std::wstring_view below = std::wstring_view(it->second.strPath).substr(strPrefix.size());
        const std::wstring_view name = below.substr(0, below.find(L'\\'));
        if (names.empty() || UpperCase(names.back()) != UpperCase(name))
            names.emplace_back(name);
    }
    return names;
}

DWORD RegistryKey::QueryValue(std::wstring_view valueName, DWORD* pdwType, std::uint8_t* pData, DWORD* pcbData) const
{
    const RegistryValue* pValue = m_pContents ? m_pContents->FindValue(m_strPath, valueName) : nullptr;
    if (!pValue)
        return ERROR_FILE_NOT_FOUND;
    if (pdwType)
        *pdwType = pValue->dwType;
    const auto cbNeeded = static_cast<DWORD>(pValue->data.size());
    if (!pcbData)
        return pData ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const DWORD cbGiven = *pcbData;
    *pcbData = cbNeeded;
    if (!pData)
        return ERROR_SUCCESS;
    if (cbGiven < cbNeeded)
        return ERROR_MORE_DATA;
    std::copy(pValue->data.begin(), pValue->data.end(), pData);
    return ERROR_SUCCESS;
}

std::optional<std::wstring> RegistryKey::ReadString(std::wstring_view valueName, std::size_t cchMax) const
{
    std::vector<std::uint8_t> buffer((cchMax + 1) * 2);
    auto cbData = static_cast<DWORD>(buffer.size());
    DWORD dwType = REG_NONE;
    if (QueryValue(valueName, &dwType, buffer.data(), &cbData) != ERROR_SUCCESS ||
        (dwType != REG_SZ && dwType != REG_EXPAND_SZ))
        return std::nullopt;
    std::wstring strValue = UTIL::STR::Utf16LeToWide(std::span(buffer.data(), cbData));
    strValue.resize(std::min(strValue.find(L'\0'), strValue.size()));
    return strValue;
}

std::optional<DWORD> RegistryKey::ReadDword(std::wstring_view valueName) const
{
    std::uint8_t bytes[4] = {};
    DWORD cbData = sizeof bytes;
    DWORD dwType = REG_NONE;
    if (QueryValue(valueName, &dwType, bytes, &cbData) != ERROR_SUCCESS || dwType != REG_DWORD)
        return std::nullopt;
    return static_cast<DWORD>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24);
}

const std::vector<std::wstring>& RegistryKey::SubkeyNames() const
{
    if (!m_subkeyNames)
        m_subkeyNames = m_pContents ? m_pContents->SubkeyNames(m_strPath) : std::vector<std::wstring>();
    return *m_subkeyNames;
}

DWORD RegistryKey::QueryInfoKey(DWORD* pcSubKeys, DWORD* pcchMaxSubKeyLen) const
{
    const std::vector<std::wstring>& names = SubkeyNames();
    if (pcSubKeys)
        *pcSubKeys = static_cast<DWORD>(names.size());
    if (pcchMaxSubKeyLen) {
        *pcchMaxSubKeyLen = 0;
        for (const auto& strName : names)
            *pcchMaxSubKeyLen = std::max(*pcchMaxSubKeyLen, static_cast<DWORD>(strName.size()));
    }
    return ERROR_SUCCESS;
}

DWORD RegistryKey::EnumKey(DWORD dwIndex, wchar_t* lpName, DWORD* pcchName) const
{
    const std::vector<std::wstring>& names = SubkeyNames();
    if (dwIndex >= names.size())
        return ERROR_NO_MORE_ITEMS;
    const std::wstring& strName = names[dwIndex];
    if (!pcchName || *pcchName < strName.size() + 1)
        return ERROR_MORE_DATA;
    std::copy(strName.begin(), strName.end(), lpName);
    lpName[strName.size()] = L'\0';
    *pcchName = static_cast<DWORD>(strName.size());
    return ERROR_SUCCESS;
}

std::filesystem::path Registry::MachineFilePath()
{
    const char* szFile = std::getenv("VESTREL_REGISTRY_FILE");
    return (szFile && *szFile) ? std::filesystem::path(szFile) : std::filesystem::path("/etc/vestrel/registry.reg");
}

namespace {

// What a registry file was when it was read: a change of content, or another file at the name,
// changes one of these.
struct FileStamp
{
    bool bExists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t cbSize = 0;
    timespec modified{};
    timespec changed{};

    static FileStamp Of(const std::filesystem::path& path)
    {
        struct stat info
        {
        };
        if (::stat(path.c_str(), &info) != 0)
            return {};
        return {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    }
    bool operator==(const FileStamp& other) const
    {
        const auto same = [](const timespec& a, const timespec& b) {
            return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
        };
        return bExists == other.bExists && device == other.device && inode == other.inode && cbSize == other.cbSize &&
               same(modified, other.modified) && same(changed, other.changed);
    }
};

} // namespace

Registry Registry::LoadMachine()
{
    // Every trace log, connection and browse of a process asks for the registry: the file is
    // parsed once, and again only when it has changed since.
    struct CachedFile
    {
        FileStamp stamp;
        Registry registry;
    };
    static std::mutex lock;
    static std::map<std::filesystem::path, CachedFile> cache;

    const std::filesystem::path path = MachineFilePath();
    const FileStamp stamp = FileStamp::Of(path);
    const std::lock_guard guard(lock);
    const auto cached = cache.find(path);
    if (cached != cache.end() && cached->second.stamp == stamp)
        return cached->second.registry;
    Registry registry = LoadFile(path);
    cache.insert_or_assign(path, CachedFile{stamp, registry});
    return registry;
}

Registry Registry::LoadFile(const std::filesystem::path& path)
{
    Registry registry;
    registry.m_pContents = std::make_shared<RegistryContents>();
    std::vector<std::uint8_t> bytes;
    const DWORD dwError = ReadRegistryFile(path, bytes);
    if (dwError == ERROR_FILE_NOT_FOUND)
        return registry;
    registry.m_dwLoadError = dwError;
    if (dwError == ERROR_SUCCESS)
        registry.m_pContents = std::make_shared<RegistryContents>(RegistryContents::Parse(bytes));
    return registry;
}

Registry Registry::FromText(std::string_view text)
{
    Registry registry;
    const auto* pBytes = reinterpret_cast<const std::uint8_t*>(text.data());
    registry.m_pContents = std::make_shared<RegistryContents>(RegistryContents::Parse(std::span(pBytes, text.size())));
    return registry;
}

DWORD Registry::OpenKey(std::wstring_view subkey, RegistryKey& keyOut) const
{
    if (m_dwLoadError != ERROR_SUCCESS)
        return m_dwLoadError;
    if (!m_pContents->HasKey(subkey))
        return ERROR_FILE_NOT_FOUND;
    keyOut.m_pContents = m_pContents;
    keyOut.m_strPath = subkey;
    keyOut.m_subkeyNames.reset();
    return ERROR_SUCCESS;
}

} // namespace platform
