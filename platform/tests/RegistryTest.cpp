#include "platform/Registry.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/stat.h>

using namespace platform;

namespace {

const char* const kExport = "Windows Registry Editor Version 5.00\r\n"
                            "\r\n"
                            "; a comment\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n"
                            "\"Info\"=\"Title with \\\"quotes\\\" and C:\\\\path\"\r\n"
                            "\"LogLevel\"=dword:0000000c\r\n"
                            "@=\"the default\"\r\n"
                            "\"Binary\"=hex:01,02,03,\\\r\n"
                            "  04,05\r\n"
                            "\"Multi\"=hex(7):41,00,00,00,00,00\r\n"
                            "\"Long\"=\"abcdefghij\"\r\n"
                            "\"Removed\"=\"x\"\r\n"
                            "\"Removed\"=-\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Vestrel]\r\n"
                            "\"Other\"=\"root\"\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Doomed\\Child]\r\n"
                            "[-HKEY_LOCAL_MACHINE\\Software\\Doomed]\r\n";

std::wstring ReadString(const Registry& registry, const wchar_t* wszKey, const wchar_t* wszValue,
                        std::size_t cchMax = 100)
{
    RegistryKey key;
    EXPECT_EQ(registry.OpenKey(wszKey, key), ERROR_SUCCESS);
    return key.ReadString(wszValue, cchMax).value_or(L"<missing>");
}

// Opens each key and compares the answer.
void ExpectKeys(const Registry& registry, std::initializer_list<std::pair<const wchar_t*, DWORD>> cases)
{
    RegistryKey key;
    for (const auto& [wszKey, dwExpected] : cases)
        EXPECT_EQ(registry.OpenKey(wszKey, key), dwExpected) << WideToNarrow(wszKey);
}

} // namespace

TEST(Registry, KeysExistWhenNamedOrWhenAKeyBelowThemIsNamed)
{
    ExpectKeys(Registry::FromText(kExport), {
                                                {L"Software\\Vestrel\\VLDebugLogs\\Keeplib", ERROR_SUCCESS},
                                                {L"SOFTWARE\\vestrel\\vldebuglogs\\KEEPLIB", ERROR_SUCCESS},
                                                {L"Software\\Vestrel", ERROR_SUCCESS},
                                                {L"Software", ERROR_SUCCESS},
                                                {L"Software\\Vest", ERROR_FILE_NOT_FOUND},
                                                {L"Software\\Vestrel\\VLDebugLogs\\Keepctl", ERROR_FILE_NOT_FOUND},
                                                {L"Software\\Doomed", ERROR_FILE_NOT_FOUND},
                                                {L"Software\\Doomed\\Child", ERROR_FILE_NOT_FOUND},
                                            });
}

TEST(Registry, DeletingAKeyTakesExactlyItAndTheKeysBelowIt)
{
    // Neighbours that share the name's start, or sort between the key and the keys below it
    // ("!" before "\\"), stay.
    ExpectKeys(Registry::FromText("[HKEY_LOCAL_MACHINE\\A\\Key\\Sub]\r\n"
                                  "[HKEY_LOCAL_MACHINE\\A\\Key!]\r\n"
                                  "[HKEY_LOCAL_MACHINE\\A\\KeyRing]\r\n"
                                  "[HKEY_LOCAL_MACHINE\\A\\Ke]\r\n"
                                  "[-HKEY_LOCAL_MACHINE\\a\\KEY]\r\n"),
               {{L"A\\Key", ERROR_FILE_NOT_FOUND},
                {L"A\\Key\\Sub", ERROR_FILE_NOT_FOUND},
                {L"A\\Key!", ERROR_SUCCESS},
                {L"A\\KeyRing", ERROR_SUCCESS},
                {L"A\\Ke", ERROR_SUCCESS}});

    // Deleting the root takes every key; a key named again after its deletion is new and empty.
    const Registry again = Registry::FromText("[HKEY_LOCAL_MACHINE\\A\\Key]\r\n\"V\"=dword:1\r\n"
                                              "[HKEY_LOCAL_MACHINE\\A\\Key\\Sub\\Deeper]\r\n"
                                              "[HKEY_LOCAL_MACHINE\\B\\One]\r\n"
                                              "[-HKEY_LOCAL_MACHINE]\r\n"
                                              "[HKEY_LOCAL_MACHINE\\A\\Key\\Sub]\r\n");
    ExpectKeys(again, {{L"A\\Key", ERROR_SUCCESS},
                       {L"A\\Key\\Sub", ERROR_SUCCESS},
                       {L"A\\Key\\Sub\\Deeper", ERROR_FILE_NOT_FOUND},
                       {L"B\\One", ERROR_FILE_NOT_FOUND}});
    RegistryKey key;
    ASSERT_EQ(again.OpenKey(L"A\\Key", key), ERROR_SUCCESS);
    EXPECT_FALSE(key.ReadDword(L"V").has_value());
}

TEST(Registry, AChangedMachineFileIsReadAgain)
{
    testsupport::ScratchFolder folder;
    const std::filesystem::path file = folder.Path() / "machine.reg";
    ::setenv("VESTREL_REGISTRY_FILE", file.c_str(), 1);
    const auto logLevel = [] {
        RegistryKey key;
        return Registry::LoadMachine().OpenKey(L"Software\\Vestrel", key) == ERROR_SUCCESS
                   ? key.ReadDword(L"LogLevel").value_or(0)
                   : 0xFFFFFFFF;
    };
    EXPECT_EQ(logLevel(), 0xFFFFFFFFu) << "no file yet";
    folder.Write("machine.reg", "[HKEY_LOCAL_MACHINE\\Software\\Vestrel]\r\n\"LogLevel\"=dword:00000001\r\n");
    EXPECT_EQ(logLevel(), 1u);
    // Another file in its place, of the same size.
    const std::filesystem::path replacement =
        folder.Write("new.reg", "[HKEY_LOCAL_MACHINE\\Software\\Vestrel]\r\n\"LogLevel\"=dword:00000002\r\n");
    std::filesystem::rename(replacement, file);
    EXPECT_EQ(logLevel(), 2u);
    ::unsetenv("VESTREL_REGISTRY_FILE");
}

TEST(Registry, ReadsValuesAsTheRegistryEditorWritesThem)
{
    const Registry registry = Registry::FromText(kExport);
    const wchar_t* const wszKey = L"Software\\Vestrel\\VLDebugLogs\\Keeplib";
    EXPECT_EQ(ReadString(registry, wszKey, L"Info"), L"Title with \"quotes\" and C:\\path");
    EXPECT_EQ(ReadString(registry, wszKey, L"info"), L"Title with \"quotes\" and C:\\path");
    EXPECT_EQ(ReadString(registry, wszKey, L""), L"the default");
    EXPECT_EQ(ReadString(registry, wszKey, L"Removed"), L"<missing>");
    EXPECT_EQ(ReadString(registry, wszKey, L"Other"), L"<missing>");

    RegistryKey key;
    ASSERT_EQ(registry.OpenKey(wszKey, key), ERROR_SUCCESS);
    EXPECT_EQ(key.ReadDword(L"LogLevel"), 12u);

    DWORD dwType = 0;
    std::uint8_t bytes[16] = {};
    DWORD cbData = sizeof bytes;
    ASSERT_EQ(key.QueryValue(L"Binary", &dwType, bytes, &cbData), ERROR_SUCCESS);
    EXPECT_EQ(dwType, REG_BINARY);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + cbData), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    cbData = sizeof bytes;
    ASSERT_EQ(key.QueryValue(L"Multi", &dwType, bytes, &cbData), ERROR_SUCCESS);
    EXPECT_EQ(dwType, REG_MULTI_SZ);
    EXPECT_EQ(cbData, 6u);
}

TEST(Registry, ValuesThatDoNotFitCountAsMissing)
{
    const Registry registry = Registry::FromText(kExport);
    RegistryKey key;
    ASSERT_EQ(registry.OpenKey(L"Software\\Vestrel\\VLDebugLogs\\Keeplib", key), ERROR_SUCCESS);
    EXPECT_EQ(key.ReadString(L"Long", 10), L"abcdefghij");
    EXPECT_EQ(key.ReadString(L"Long", 9), std::nullopt);
    // Five bytes do not fit a number.
    EXPECT_EQ(key.ReadDword(L"Binary"), std::nullopt);

    std::uint8_t bytes[4];
    DWORD cbData = sizeof bytes;
    EXPECT_EQ(key.QueryValue(L"Long", nullptr, bytes, &cbData), ERROR_MORE_DATA);
    EXPECT_EQ(cbData, 22u);
}

TEST(Registry, ValuesOfAnotherTypeCountAsMissing)
{
    // Reads are typed: the bytes of a number are no text, and the bytes of a short text no number.
    const Registry registry = Registry::FromText("[HKEY_LOCAL_MACHINE\\K]\r\n"
                                                 "\"Number\"=dword:00000001\r\n"
                                                 "\"Text\"=\"1\"\r\n"
                                                 "\"Binary\"=hex:01,00,00,00\r\n"
                                                 "\"Expandable\"=hex(2):31,00,00,00\r\n"
                                                 "\"TypedNumber\"=hex(4):02,00,00,00\r\n");
    RegistryKey key;
    ASSERT_EQ(registry.OpenKey(L"K", key), ERROR_SUCCESS);
    struct TypedCase
    {
        const wchar_t* wszValue;
        std::optional<std::wstring> text;
        std::optional<DWORD> number;
    };
    const TypedCase cases[] = {
        {L"Number", std::nullopt, 1u},           {L"Text", L"1", std::nullopt},
        {L"Binary", std::nullopt, std::nullopt}, {L"Expandable", L"1", std::nullopt},
        {L"TypedNumber", std::nullopt, 2u},
    };
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(WideToNarrow(c.wszValue));
        EXPECT_EQ(key.ReadString(c.wszValue, 100), c.text);
        EXPECT_EQ(key.ReadDword(c.wszValue), c.number);
    }
}

TEST(Registry, ReadsUtf16FilesWithTheirByteOrderMark)
{
    const std::string strText = "[HKEY_LOCAL_MACHINE\\A\\B]\r\n\"X\"=\"\xc3\xa9\xe2\x82\xac\"\r\n";
    const std::wstring strWide = NarrowToWide(strText);
    std::string strUtf16 = "\xff\xfe";
    for (const wchar_t c : strWide) {
        strUtf16 += static_cast<char>(c & 0xFF);
        strUtf16 += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(ReadString(Registry::FromText(strUtf16), L"A\\B", L"X"), L"\u00e9\u20ac");
}

TEST(Registry, MissingFileIsAnEmptyRegistryAndAnUnreadableOneFails)
{
    testsupport::ScratchFolder folder;
    RegistryKey key;
    EXPECT_EQ(Registry::LoadFile(folder.Path() / "absent.reg").OpenKey(L"Software", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Registry::LoadFile(folder.Path()).OpenKey(L"Software", key), ERROR_REGISTRY_IO_FAILED);
    const auto path = folder.Write("machine.reg", kExport);
    EXPECT_EQ(Registry::LoadFile(path).OpenKey(L"Software\\Vestrel", key), ERROR_SUCCESS);
}

TEST(Registry, OnlyARegularFileOfAtMostFourMebibytesIsRead)
{
    // Anything else counts as unreadable, without waiting on it: a pipe with no writer, a device
    // that never ends, a folder, a file too large for an export.
    testsupport::ScratchFolder folder;
    const auto pipe = folder.Path() / "pipe.reg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto large = folder.Write("large.reg", std::string(kExport) + std::string(4 << 20, ';'));
    const auto fits =
        folder.Write("fits.reg", std::string(kExport) + std::string((4 << 20) - std::strlen(kExport), ';'));
    const auto link = folder.Path() / "link.reg";
    std::filesystem::create_symlink(fits, link);
    struct LoadCase
    {
        std::filesystem::path path;
        DWORD dwOpenKey;
    };
    const LoadCase cases[] = {
        {pipe, ERROR_REGISTRY_IO_FAILED},
        {"/dev/zero", ERROR_REGISTRY_IO_FAILED},
        {folder.Path(), ERROR_REGISTRY_IO_FAILED},
        {large, ERROR_REGISTRY_IO_FAILED},
        {fits, ERROR_SUCCESS},
        {link, ERROR_SUCCESS},
    };
    for (const LoadCase& c : cases) {
        RegistryKey key;
        EXPECT_EQ(Registry::LoadFile(c.path).OpenKey(L"Software\\Vestrel", key), c.dwOpenKey) << c.path;
    }
}

TEST(Registry, MachineFileComesFromTheEnvironment)
{
    ::setenv("VESTREL_REGISTRY_FILE", "/somewhere/else.reg", 1);
    EXPECT_EQ(Registry::MachineFilePath(), "/somewhere/else.reg");
    ::unsetenv("VESTREL_REGISTRY_FILE");
    EXPECT_EQ(Registry::MachineFilePath(), "/etc/vestrel/registry.reg");
}

TEST(Registry, SubkeysAreEnumeratedOnceEachInNameOrderAsTheFileSpellsThem)
{
    const Registry registry =
        Registry::FromText("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\MSSQL.1]\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\90\\Tools]\r\n"
                           "[HKEY_LOCAL_MACHINE\\software\\microsoft\\microsoft sql server\\mssql.1\\Setup]\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\SqlExpress\\A\\B]\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\Gone]\r\n"
                           "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft SQL Server\\Gone]\r\n");
    RegistryKey key;
    ASSERT_EQ(registry.OpenKey(L"SOFTWARE\\Microsoft\\Microsoft SQL Server", key), ERROR_SUCCESS);
    DWORD cSubKeys = 0;
    DWORD cchMaxSubKeyLen = 0;
    ASSERT_EQ(key.QueryInfoKey(&cSubKeys, &cchMaxSubKeyLen), ERROR_SUCCESS);
    EXPECT_EQ(cSubKeys, 3u);
    EXPECT_EQ(cchMaxSubKeyLen, 10u); // SqlExpress

    std::vector<std::wstring> names;
    std::vector<wchar_t> buffer(cchMaxSubKeyLen + 1);
    for (DWORD dwIndex = 0;; ++dwIndex) {
        auto cchName = static_cast<DWORD>(buffer.size());
        const DWORD dwError = key.EnumKey(dwIndex, buffer.data(), &cchName);
        if (dwError == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(dwError, ERROR_SUCCESS);
        names.emplace_back(buffer.data(), cchName);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"90", L"MSSQL.1", L"SqlExpress"}));

    DWORD cchSmall = 5;
    EXPECT_EQ(key.EnumKey(2, buffer.data(), &cchSmall), ERROR_MORE_DATA);
    ASSERT_EQ(registry.OpenKey(L"SOFTWARE\\Microsoft\\Microsoft SQL Server\\SqlExpress\\A\\B", key), ERROR_SUCCESS);
    ASSERT_EQ(key.QueryInfoKey(&cSubKeys, &cchMaxSubKeyLen), ERROR_SUCCESS);
    EXPECT_EQ(cSubKeys, 0u);
    EXPECT_EQ(cchMaxSubKeyLen, 0u);
}
