// Feeds arbitrary bytes to the .reg parser and reads back what it made of them.

#include "platform/Registry.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData)
{
    const auto registry = platform::Registry::FromText(std::string_view(reinterpret_cast<const char*>(pData), cbData));
    platform::RegistryKey key;
    for (const wchar_t* wszKey : {L"", L"Software", L"Software\\Vestrel", L"A\\B"}) {
        if (registry.OpenKey(wszKey, key) == 0) {
            key.ReadString(L"Info", 1023);
            key.ReadDword(L"LogLevel");
            key.ReadString(L"", 10);
        }
    }
    return 0;
}
