#pragma once
// printf-style formatting into strings, and conversions between wide text and byte encodings.
//
// Wide text is std::wstring (UTF-32 here). Narrow text is UTF-8, which stands for the ANSI code
// page. Format strings follow the C library's rules: in a wide format, %ls is a wide string and
// %s a narrow one; callers pass narrow text through NarrowToWide and %ls so that formatting never
// depends on the process locale.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace UTIL::STR {

constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_UTF8 = 65001;

std::wstring FormatW(const wchar_t* wszFormat, ...);
std::string FormatA(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));

// Wide to narrow in the given code page (both code pages mean UTF-8 here). Characters that have no
// encoding (lone surrogates, values past U+10FFFF) become szDefaultChar, or '?', and set
// *pbUsedDefaultChar when it is given.
std::string WideToNarrow(std::wstring_view s, unsigned uCodePage = CP_UTF8, unsigned uFlags = 0,
                         const char* szDefaultChar = nullptr, bool* pbUsedDefaultChar = nullptr);

// UTF-8 to wide; a malformed sequence becomes U+FFFD.
std::wstring NarrowToWide(std::string_view s);

// UTF-16 little-endian bytes to wide text (an odd last byte is ignored; a lone surrogate becomes
// U+FFFD), and back.
std::wstring Utf16LeToWide(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> WideToUtf16Le(std::wstring_view s);

// Writes the UTF-8 form of one character (at most four bytes) and returns its length. Lone
// surrogates and values past U+10FFFF have no form: they give 0.
std::size_t EncodeUtf8(char32_t c, char (&bytes)[4]);

// Whether the texts are equal but for case, as CharacterClass folds it.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// The text with every control character (C0, DEL and C1) written as \xNN, so that a name taken
// from a file system or a command line can neither start a line of its own nor reach a terminal
// as a command. Bytes that are not UTF-8 stay as they are, but for those in the C1 range.
std::string EscapeControlCharacters(std::string_view text);
std::wstring EscapeControlCharacters(std::wstring_view text);

} // namespace UTIL::STR

using UTIL::STR::EscapeControlCharacters;
using UTIL::STR::FormatA;
using UTIL::STR::FormatW;
using UTIL::STR::NarrowToWide;
using UTIL::STR::WideToNarrow;
