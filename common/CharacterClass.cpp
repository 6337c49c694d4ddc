#include "common/CharacterClass.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace UTIL::STR {
namespace {

// Opened once and kept for the life of the process; it is never the locale the caller set.
locale_t FixedLocale()
{
    static const locale_t fixed = [] {
        if (const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{}))
            return unicode;
        return ::newlocale(LC_CTYPE_MASK, "C", locale_t{});
    }();
    return fixed;
}

bool IsAscii(wchar_t c)
{
    return c >= 0 && c < 0x80;
}

} // namespace

bool IsLetter(wchar_t c)
{
    if (IsAscii(c))
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    return ::iswalpha_l(static_cast<wint_t>(c), FixedLocale()) != 0;
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

bool IsSpace(wchar_t c)
{
    if (IsAscii(c))
        return c == L' ' || (c >= L'\t' && c <= L'\r');
    return ::iswspace_l(static_cast<wint_t>(c), FixedLocale()) != 0;
}

wchar_t ToUpper(wchar_t c)
{
    if (IsAscii(c))
        return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    return static_cast<wchar_t>(::towupper_l(static_cast<wint_t>(c), FixedLocale()));
}

std::wstring UpperCase(std::wstring_view text)
{
    std::wstring strUpper(text);
    for (wchar_t& c : strUpper)
        c = ToUpper(c);
    return strUpper;
}

} // namespace UTIL::STR
