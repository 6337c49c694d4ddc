#include "platform/browse/ResolutionProtocol.h"

#include "common/StringUtils.h"

#include <string_view>

namespace platform::browse {
namespace {

bool IsControlCharacter(wchar_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Text from anyone on the network: UTF-8 when it is valid, else one character per byte.
std::wstring DecodeAnswerText(std::string_view bytes)
{
    std::wstring strText = NarrowToWide(bytes);
    if (WideToNarrow(strText) == bytes)
        return strText;
    strText.assign(bytes.begin(), bytes.end());
    for (wchar_t& c : strText)
        c = static_cast<wchar_t>(static_cast<unsigned char>(c));
    return strText;
}

// A host or instance name that can stand in a browse list, as one item, and in a server name.
bool IsListableName(std::wstring_view name)
{
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    for (const wchar_t c : name) {
        if (c == L',' || c == L'{' || c == L'}' || c == L'\\' || IsControlCharacter(c))
            return false;
    }
    return true;
}

// The next field up to its ";"; nothing at the end of the text without one.
std::optional<std::wstring_view> TakeField(std::wstring_view& text)
{
    const auto semicolon = text.find(L';');
    if (semicolon == std::wstring_view::npos)
        return std::nullopt;
    const std::wstring_view field = text.substr(0, semicolon);
    text.remove_prefix(semicolon + 1);
    return field;
}

std::wstring ShortenedForNote(std::wstring_view name)
{
    constexpr std::size_t kNoteLength = 64;
    std::wstring strShown = EscapeControlCharacters(name.substr(0, kNoteLength));
    if (name.size() > kNoteLength)
        strShown += L"...";
    return strShown;
}

} // namespace

std::optional<ResolutionAnswer> ParseResolutionAnswer(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < 3 || datagram[0] != SVR_RESP)
        return std::nullopt;
    const std::size_t cbData = datagram[1] | static_cast<std::size_t>(datagram[2]) << 8;
    if (cbData > datagram.size() - 3)
        return std::nullopt;
    const std::wstring strText =
        DecodeAnswerText(std::string_view(reinterpret_cast<const char*>(datagram.data() + 3), cbData));

    // "key;value;" pairs; an empty key (the second ";" of ";;") ends an instance.
    ResolutionAnswer answer;
    std::wstring_view text = strText;
    std::optional<std::wstring_view> host;
    std::optional<std::wstring_view> instance;
    while (const auto key = TakeField(text)) {
        if (key->empty()) {
            if (!host || !instance)
                answer.refusals.push_back(L"An instance without a server or instance name was left out.");
            else if (!IsListableName(*host) || !IsListableName(*instance))
                answer.refusals.push_back(L"An instance whose name cannot be listed was left out: " +
                                          ShortenedForNote(*host) + L"\\" + ShortenedForNote(*instance));
            else if (UTIL::STR::EqualsNoCase(*instance, L"MSSQLSERVER"))
                answer.names.emplace_back(*host);
            else
                answer.names.push_back(std::wstring(*host) + L"\\" + std::wstring(*instance));
            host.reset();
            instance.reset();
            continue;
        }
        const auto value = TakeField(text);
        if (!value)
            break;
        if (UTIL::STR::EqualsNoCase(*key, L"ServerName"))
            host = *value;
        else if (UTIL::STR::EqualsNoCase(*key, L"InstanceName"))
            instance = *value;
    }
    if (host || instance)
        answer.refusals.push_back(L"An instance that the answer did not finish was left out.");
    return answer;
}

std::wstring BrowseText(const std::vector<std::wstring>& names)
{
    if (names.empty())
        return L"Server=";
    std::wstring strText = L"Server={";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            strText += L',';
        strText += names[i];
    }
    return strText + L'}';
}

} // namespace platform::browse
