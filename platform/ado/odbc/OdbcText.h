#pragma once
// Text as the ODBC wide functions take it: SQLWCHAR is a UTF-16 code unit here, while wide text
// in the system is UTF-32.

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::ado::odbc {

// UTF-16 code units followed by one terminating zero.
using SqlWideText = std::vector<SQLWCHAR>;

// Characters without a UTF-16 form (lone surrogates, values past U+10FFFF) become U+FFFD.
SqlWideText ToSqlWide(std::wstring_view s);
// The number of code units of the text, without its terminating zero.
inline SQLINTEGER SqlLength(const SqlWideText& text)
{
    return static_cast<SQLINTEGER>(text.size() - 1);
}

// cch code units (or up to the first zero when cch is negative); a lone surrogate becomes U+FFFD.
std::wstring FromSqlWide(const SQLWCHAR* pText, std::ptrdiff_t cch);

} // namespace platform::ado::odbc
