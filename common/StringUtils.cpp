#include "common/StringUtils.h"

#include "common/CharacterClass.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <stdexcept>

namespace UTIL::STR {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// Decodes one UTF-8 sequence at s[i], advancing i; malformed input yields U+FFFD for one byte.
char32_t DecodeUtf8(std::string_view s, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80)
        return lead;
    int iTrail = 0;
    char32_t c = 0;
    char32_t cMinimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        iTrail = 1, c = lead & 0x1F, cMinimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        iTrail = 2, c = lead & 0x0F, cMinimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        iTrail = 3, c = lead & 0x07, cMinimum = 0x10000;
    } else {
        return kReplacement;
    }
    if (i + static_cast<std::size_t>(iTrail) > s.size())
        return kReplacement;
    for (int k = 0; k < iTrail; ++k) {
        const auto trail = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((trail & 0xC0) != 0x80)
            return kReplacement;
        c = (c << 6) | (trail & 0x3F);
    }
    if (c < cMinimum || c > 0x10FFFF || IsSurrogate(c))
        return kReplacement;
    i += static_cast<std::size_t>(iTrail);
    return c;
}

} // namespace

std::size_t EncodeUtf8(char32_t c, char (&bytes)[4])
{
    if (c > 0x10FFFF || IsSurrogate(c))
        return 0;
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<char>(0xF0 | (c >> 18));
    bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

std::wstring FormatW(const wchar_t* wszFormat, ...)
{
    std::vector<wchar_t> vecBuf(80);
    for (;;) {
        va_list args;
        va_start(args, wszFormat);
        errno = 0;
        const int iRetVal = std::vswprintf(vecBuf.data(), vecBuf.size(), wszFormat, args);
        va_end(args);
        if (iRetVal >= 0)
            return std::wstring(vecBuf.data(), static_cast<std::size_t>(iRetVal));
        // The C library answers -1 both for a full buffer and for text it cannot encode; only
        // the first is cured by a larger buffer.
        if (errno != 0)
            throw std::runtime_error("iRetVal < 0");
        const std::size_t NewSize = vecBuf.size() * 2;
        if (NewSize < vecBuf.size())
            throw std::runtime_error("NewSize < vecBuf.size()");
        vecBuf.resize(NewSize);
    }
}

std::string FormatA(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    va_list argsCopy;
    va_copy(argsCopy, args);
    const int iLength = std::vsnprintf(nullptr, 0, szFormat, args);
    va_end(args);
    if (iLength < 0) {
        va_end(argsCopy);
        throw std::runtime_error("iRetVal < 0");
    }
    std::string strResult(static_cast<std::size_t>(iLength) + 1, '\0');
    std::vsnprintf(strResult.data(), strResult.size(), szFormat, argsCopy);
    va_end(argsCopy);
    strResult.resize(static_cast<std::size_t>(iLength));
    return strResult;
}

std::string WideToNarrow(std::wstring_view s, unsigned /*uCodePage*/, unsigned /*uFlags*/, const char* szDefaultChar,
                         bool* pbUsedDefaultChar)
{
    if (s.length() > static_cast<unsigned>(INT_MAX))
        throw std::length_error("s.length() > static_cast<unsigned>(INT_MAX)");
    if (pbUsedDefaultChar)
        *pbUsedDefaultChar = false;
    std::string strResult;
    strResult.reserve(s.size());
    for (const wchar_t wc : s) {
        char bytes[4];
        const std::size_t n = EncodeUtf8(static_cast<char32_t>(wc), bytes);
        if (n == 0) {
            strResult += szDefaultChar ? szDefaultChar : "?";
            if (pbUsedDefaultChar)
                *pbUsedDefaultChar = true;
        } else {
            strResult.append(bytes, n);
        }
    }
    return strResult;
}

std::wstring NarrowToWide(std::string_view s)
{
    // Never more characters than bytes: written in place, then cut to what was written.
    std::wstring strResult(s.size(), L'\0');
    wchar_t* pOut = strResult.data();
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80) {
            *pOut++ = static_cast<wchar_t>(byte);
            ++i;
        } else {
            *pOut++ = static_cast<wchar_t>(DecodeUtf8(s, i));
        }
    }
    strResult.resize(static_cast<std::size_t>(pOut - strResult.data()));
    return strResult;
}

std::wstring Utf16LeToWide(std::span<const std::uint8_t> bytes)
{
    const std::size_t nUnits = bytes.size() / 2;
    // Never more characters than code units: written in place, then cut to what was written.
    std::wstring strResult(nUnits, L'\0');
    wchar_t* pOut = strResult.data();
    for (std::size_t i = 0; i < nUnits; ++i) {
        const auto unit = static_cast<char32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < nUnits) {
            const auto next = static_cast<char32_t>(bytes[2 * i + 2] | (bytes[2 * i + 3] << 8));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                *pOut++ = static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        *pOut++ = static_cast<wchar_t>(IsSurrogate(unit) ? kReplacement : unit);
    }
    strResult.resize(static_cast<std::size_t>(pOut - strResult.data()));
    return strResult;
}

std::vector<std::uint8_t> WideToUtf16Le(std::wstring_view s)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(s.size() * 2);
    auto append = [&bytes](char32_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
    };
    for (const wchar_t wc : s) {
        auto c = static_cast<char32_t>(wc);
        if (c > 0x10FFFF)
            c = kReplacement;
        if (c >= 0x10000) {
            append(0xD800 + ((c - 0x10000) >> 10));
            append(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            append(c);
        }
    }
    return bytes;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToUpper(a[i]) != ToUpper(b[i]))
            return false;
    }
    return true;
}

namespace {

bool IsControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

template <class Char> void AppendEscaped(std::basic_string<Char>& out, unsigned uValue)
{
    constexpr char kDigits[] = "0123456789abcdef";
    for (const char c : {'\\', 'x', kDigits[(uValue >> 4) & 0xF], kDigits[uValue & 0xF]})
        out += static_cast<Char>(c);
}

} // namespace

std::string EscapeControlCharacters(std::string_view text)
{
    std::string strEscaped;
    strEscaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        const char32_t c = DecodeUtf8(text, i);
        const std::string_view bytes = text.substr(start, i - start);
        // A byte that starts no UTF-8 sequence decodes as U+FFFD on its own: it is a control when
        // it falls in the C1 range.
        const bool bStray = c == kReplacement && bytes.size() == 1;
        if (IsControl(bStray ? static_cast<unsigned char>(bytes[0]) : c)) {
            for (const char b : bytes)
                AppendEscaped(strEscaped, static_cast<unsigned char>(b));
        } else {
            strEscaped += bytes;
        }
    }
    return strEscaped;
}

std::wstring EscapeControlCharacters(std::wstring_view text)
{
    std::wstring strEscaped;
    strEscaped.reserve(text.size());
    for (const wchar_t c : text) {
        if (IsControl(static_cast<char32_t>(c)))
            AppendEscaped(strEscaped, static_cast<unsigned>(c));
        else
            strEscaped += c;
    }
    return strEscaped;
}

} // namespace UTIL::STR
