#pragma once
// Character classes and case folding that answer the same whatever locale the process runs in:
// a library must not judge a database name, a server name or a script differently because its
// caller called setlocale. The answers are Unicode's as the C.UTF-8 tables of the C library give
// them (ASCII alone where those tables are missing), the same in every process of a machine.

#include <string>
#include <string_view>

namespace UTIL::STR {

bool IsLetter(wchar_t c);
// The ten ASCII digits only.
bool IsDigit(wchar_t c);
// Blanks, tabs and line ends, and Unicode's other spaces but the no-break ones.
bool IsSpace(wchar_t c);
// The simple upper-case form of a character; the character itself when it has none.
wchar_t ToUpper(wchar_t c);
// The text with every character in its simple upper-case form.
std::wstring UpperCase(std::wstring_view text);

} // namespace UTIL::STR
