#include "OdbcText.h"

namespace platform::ado::odbc {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

SqlWideText ToSqlWide(std::wstring_view s)
{
    SqlWideText text;
    text.reserve(s.size() + 1);
    for (const wchar_t wc : s) {
        char32_t c = static_cast<char32_t>(wc);
        if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF)
            c = kReplacement;
        if (c >= 0x10000) {
            c -= 0x10000;
            text.push_back(static_cast<SQLWCHAR>(0xD800 + (c >> 10)));
            text.push_back(static_cast<SQLWCHAR>(0xDC00 + (c & 0x3FF)));
        } else {
            text.push_back(static_cast<SQLWCHAR>(c));
        }
    }
    text.push_back(0);
    return text;
}

std::wstring FromSqlWide(const SQLWCHAR* pText, std::ptrdiff_t cch)
{
    std::wstring s;
    if (!pText)
        return s;
    if (cch < 0) {
        cch = 0;
        while (pText[cch] != 0)
            ++cch;
    }
    s.reserve(static_cast<std::size_t>(cch));
    for (std::ptrdiff_t i = 0; i < cch; ++i) {
        const char32_t c = pText[i];
        if (IsHighSurrogate(c) && i + 1 < cch && IsLowSurrogate(pText[i + 1])) {
            const char32_t low = pText[++i];
            s.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)));
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            s.push_back(static_cast<wchar_t>(kReplacement));
        } else {
            s.push_back(static_cast<wchar_t>(c));
        }
    }
    return s;
}

} // namespace platform::ado::odbc
