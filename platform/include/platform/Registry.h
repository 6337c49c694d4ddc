#pragma once
// The machine's registry (HKEY_LOCAL_MACHINE), read from a file in the Registry Editor export
// format named by VESTREL_REGISTRY_FILE, else /etc/vestrel/registry.reg. A missing file is an
// empty registry; a pipe, a device, a folder or a file over 4 MiB is an unreadable one. Calls
// answer Win32 codes as the registry functions do.

#include "common/HResult.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

struct RegistryValue
{
    DWORD dwType = REG_NONE;
    std::vector<std::uint8_t> data; // as Windows stores it: strings in UTF-16LE with their zero
};

// The keys and values of one registry file, by key path below HKEY_LOCAL_MACHINE.
class RegistryContents
{
public:
    // Parses the text of a .reg file (UTF-8, or UTF-16LE with its byte-order mark). Lines it
    // does not understand are passed over; keys of other roots are ignored.
    static RegistryContents Parse(std::span<const std::uint8_t> fileBytes);

    bool HasKey(std::wstring_view keyPath) const;
    const RegistryValue* FindValue(std::wstring_view keyPath, std::wstring_view valueName) const;
    // The names of the keys directly below the key, in the registry's order (by name, without
    // regard to case), each spelt as the file first spelt it.
    std::vector<std::wstring> SubkeyNames(std::wstring_view keyPath) const;

private:
    struct Key
    {
        std::wstring strPath;                         // as the file first spelt it
        std::map<std::wstring, RegistryValue> values; // by upper-case name
    };
    void ApplyLine(std::wstring_view line, std::optional<std::wstring>& currentKey);
    // A [-key] line: the key and every key below it, in the time of finding them.
    void EraseKeyAndBelow(const std::wstring& strPath);

    std::map<std::wstring, Key> m_keys; // by upper-case path, without the root
};

class RegistryKey
{
public:
    RegistryKey() = default;

    // RegQueryValueEx: with pData null, only the size; ERROR_MORE_DATA (with the size needed)
    // when the buffer is too small; ERROR_FILE_NOT_FOUND when there is no such value.
    DWORD QueryValue(std::wstring_view valueName, DWORD* pdwType, std::uint8_t* pData, DWORD* pcbData) const;

    // A string value (REG_SZ or REG_EXPAND_SZ) of at most cchMax characters, or nothing when it
    // is missing, longer, or of another type.
    std::optional<std::wstring> ReadString(std::wstring_view valueName, std::size_t cchMax) const;
    // A REG_DWORD value of at most four bytes, or nothing when it is missing, longer, or of
    // another type: the bytes of a string are no number.
    std::optional<DWORD> ReadDword(std::wstring_view valueName) const;

    // RegQueryInfoKey: the number of subkeys and the length of the longest subkey name.
    DWORD QueryInfoKey(DWORD* pcSubKeys, DWORD* pcchMaxSubKeyLen) const;
    // RegEnumKeyEx: the name of the subkey at the index into a buffer of *pcchName characters,
    // with its terminator; *pcchName becomes the name's length. ERROR_MORE_DATA when the buffer is
    // too small, ERROR_NO_MORE_ITEMS past the last subkey.
    DWORD EnumKey(DWORD dwIndex, wchar_t* lpName, DWORD* pcchName) const;

private:
    friend class Registry;
    // The subkeys' names, listed once for all the calls that enumerate them.
    const std::vector<std::wstring>& SubkeyNames() const;

    std::shared_ptr<const RegistryContents> m_pContents;
    std::wstring m_strPath;
    mutable std::optional<std::vector<std::wstring>> m_subkeyNames;
};

class Registry
{
public:
    // The file this machine's registry lives in.
    static std::filesystem::path MachineFilePath();
    // The machine's registry: the file is read and parsed once in a process, and again only when
    // it has changed (another size, time stamp or file at its name).
    static Registry LoadMachine();
    static Registry LoadFile(const std::filesystem::path& path);
    // A registry made from the text of a .reg file, for tests.
    static Registry FromText(std::string_view text);

    // RegOpenKeyEx below HKEY_LOCAL_MACHINE: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, or
    // ERROR_REGISTRY_IO_FAILED when the registry file exists but cannot be read.
    DWORD OpenKey(std::wstring_view subkey, RegistryKey& keyOut) const;

private:
    std::shared_ptr<const RegistryContents> m_pContents;
    DWORD m_dwLoadError = 0;
};

} // namespace platform
