#include "OdbcStatement.h"
#include "OdbcResults.h"
#include "OdbcText.h"

#include "common/StringUtils.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace platform::ado;
using namespace platform::ado::odbc;

namespace {

ParameterPtr MakeParameter(const wchar_t* wszName, DataType type, ParameterDirection direction)
{
    return std::make_shared<Parameter>(Parameter{wszName, type, direction, 0, Variant()});
}

TEST(OdbcStatement, BuildsTheCallEscapeWithTheReturnValueFirst)
{
    const ParameterPtr pReturn = MakeParameter(L"@RETURN_VALUE", DataType::Integer, ParameterDirection::ReturnValue);
    const ParameterPtr pMajor = MakeParameter(L"@Major_out", DataType::Integer, ParameterDirection::Output);
    const ParameterPtr pMinor = MakeParameter(L"@Minor_out", DataType::Integer, ParameterDirection::Output);
    const ParameterPtr pBuild = MakeParameter(L"@Build_out", DataType::DBTimeStamp, ParameterDirection::Output);

    EXPECT_EQ(WideToNarrow(BuildCallEscape(L"dbo.KorvoQuarVersion", {pReturn, pMajor, pMinor, pBuild})),
              "{? = call dbo.KorvoQuarVersion(?, ?, ?)}");
    EXPECT_EQ(WideToNarrow(BuildCallEscape(L"p", {pReturn})), "{? = call p}");
    EXPECT_EQ(WideToNarrow(BuildCallEscape(L"p", {pMajor, pBuild})), "{call p(?, ?)}");
    EXPECT_EQ(WideToNarrow(BuildCallEscape(L"[dbo].[p q]", {})), "{call [dbo].[p q]}");

    // A return value declared after the outputs is still bound first, as the marker before "=".
    const std::vector<ParameterPtr> ordered = ParametersInBindingOrder({pMajor, pReturn, pBuild});
    ASSERT_EQ(ordered.size(), 3u);
    EXPECT_EQ(ordered[0], pReturn);
    EXPECT_EQ(ordered[1], pMajor);
    EXPECT_EQ(ordered[2], pBuild);
    EXPECT_EQ(WideToNarrow(BuildCallEscape(L"p", {pMajor, pReturn, pBuild})), "{? = call p(?, ?)}");
}

TEST(OdbcStatement, DatesBecomeVtDate)
{
    SQL_TIMESTAMP_STRUCT timestamp{2009, 9, 18, 9, 5, 7, 123000000};
    const Variant value = VariantFromTimestamp(timestamp);
    ASSERT_EQ(value.Type(), VT_DATE);
    EXPECT_EQ(value.DateValue(), (DateTime{2009, 9, 18, 9, 5, 7}));
}

TEST(OdbcText, ConvertsBetweenWideTextAndUtf16)
{
    const std::wstring text = L"A\u00e9\u20ac\U0001D11E";
    const SqlWideText utf16 = ToSqlWide(text);
    const std::vector<SQLWCHAR> expected{0x41, 0xE9, 0x20AC, 0xD834, 0xDD1E, 0};
    EXPECT_EQ(utf16, expected);
    EXPECT_EQ(SqlLength(utf16), 5);
    EXPECT_EQ(FromSqlWide(utf16.data(), -1), text);
    EXPECT_EQ(FromSqlWide(utf16.data(), 4), L"A\u00e9\u20ac\uFFFD"); // a pair cut in half

    const std::wstring lone{L'x', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)};
    EXPECT_EQ(ToSqlWide(lone), (std::vector<SQLWCHAR>{0x78, 0xFFFD, 0xFFFD, 0}));
    const SQLWCHAR swapped[] = {0xDD1E, 0xD834};
    EXPECT_EQ(FromSqlWide(swapped, 2), L"\uFFFD\uFFFD");
    EXPECT_EQ(FromSqlWide(nullptr, 3), L"");
}

} // namespace
