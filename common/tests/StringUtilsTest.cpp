#include "common/StringUtils.h"
#include "common/HResult.h"

#include <gtest/gtest.h>

TEST(StringUtils, FormatWReturnsResultsLongerThanItsFirstBuffer)
{
    const std::wstring strLong(200, L'x');
    EXPECT_EQ(FormatW(L"%ls", strLong.c_str()), strLong);
    EXPECT_EQ(FormatW(L"%ls=%d (0x%08X)", L"lType", -5, 0x80070057u), L"lType=-5 (0x80070057)");
    EXPECT_EQ(FormatA("%s, hr = 0x%X", "CreateInstance (Command)", 0x80004005u),
              "CreateInstance (Command), hr = 0x80004005");
    EXPECT_EQ(FormatA("%s", std::string(5000, 'y').c_str()).size(), 5000u);
}

TEST(StringUtils, FormatWFailsOnTextItCannotEncodeInsteadOfGrowingForEver)
{
    EXPECT_THROW(FormatW(L"%s", "\xff\xfe"), std::runtime_error);
}

TEST(StringUtils, Utf8ConversionsRoundTripEveryPlane)
{
    const std::wstring strWide = L"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ(WideToNarrow(strWide), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80");
    EXPECT_EQ(NarrowToWide(WideToNarrow(strWide)), strWide);
    EXPECT_EQ(WideToNarrow(L""), "");
    EXPECT_EQ(NarrowToWide("ok\xff!"), L"ok\ufffd!");
}

TEST(StringUtils, WideToNarrowReplacesWhatHasNoEncoding)
{
    bool bUsedDefault = false;
    const std::wstring strLoneSurrogate{L'a', static_cast<wchar_t>(0xD800), L'b'};
    EXPECT_EQ(WideToNarrow(strLoneSurrogate, UTIL::STR::CP_UTF8, 0, "#", &bUsedDefault), "a#b");
    EXPECT_TRUE(bUsedDefault);
    EXPECT_EQ(WideToNarrow(L"plain", UTIL::STR::CP_UTF8, 0, "#", &bUsedDefault), "plain");
    EXPECT_FALSE(bUsedDefault);
}

TEST(StringUtils, Utf16LittleEndianJoinsSurrogatePairs)
{
    const std::vector<std::uint8_t> bytes{'H', 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'x', 0, 'z'};
    EXPECT_EQ(UTIL::STR::Utf16LeToWide(bytes), L"H\U0001F600\ufffdx");
    EXPECT_EQ(UTIL::STR::WideToUtf16Le(L"H\U0001F600"), (std::vector<std::uint8_t>{'H', 0, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(StringUtils, ControlCharactersAreEscapedAndEverythingElseKept)
{
    struct EscapeCase
    {
        std::string strText;
        std::string strEscaped;
    };
    const EscapeCase cases[] = {
        {"Q1.tmp", "Q1.tmp"},
        {"a\r\nb\tc", "a\\x0d\\x0ab\\x09c"},
        {std::string("nul\0here", 8), "nul\\x00here"},
        {"\x1b[2Jdel\x7f", "\\x1b[2Jdel\\x7f"},
        {"C:\\Backup\\x.dat", "C:\\Backup\\x.dat"},
        // UTF-8 is kept but for the C1 controls; bytes that are not UTF-8 are kept but for the C1 range.
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
        {"csi\xc2\x9b", "csi\\xc2\\x9b"},
        {"Q\xe9\xff.tmp", "Q\xe9\xff.tmp"},
        {"stray\x9b", "stray\\x9b"},
    };
    for (const EscapeCase& c : cases)
        EXPECT_EQ(EscapeControlCharacters(std::string_view(c.strText)), c.strEscaped) << c.strText;

    // Wide text escapes code points: C0, DEL and C1 alike.
    EXPECT_EQ(EscapeControlCharacters(std::wstring_view(L"a\r\nb\x7f")), L"a\\x0d\\x0ab\\x7f");
    EXPECT_EQ(EscapeControlCharacters(std::wstring_view(L"csi\u009b nel\u0085")), L"csi\\x9b nel\\x85");
    EXPECT_EQ(EscapeControlCharacters(std::wstring_view(L"caf\u00e9 \u20ac \\server")), L"caf\u00e9 \u20ac \\server");
}

TEST(HResult, Win32CodesAndExitStatus)
{
    EXPECT_EQ(HRESULT_FROM_WIN32(5), MakeHResult(0x80070005));
    EXPECT_EQ(HRESULT_FROM_WIN32(0x10005), MakeHResult(0x80070005));
    EXPECT_EQ(HRESULT_FROM_WIN32(0), 0);
    EXPECT_EQ(HRESULT_FROM_WIN32(-3), -3);

    const std::pair<HRESULT, int> statuses[] = {
        {S_OK, 0},
        {S_FALSE, 1},
        {4, 4},
        {E_INVALIDARG, 0x57},
        {E_FAIL, 5},
        {E_NOTIMPL, 255},
        {E_UNEXPECTED, 255},
        {MakeHResult(0x80070100), 255},
    };
    for (const auto& [hr, iStatus] : statuses)
        EXPECT_EQ(ExitStatusFromHResult(hr), iStatus) << std::hex << HResultBits(hr);
}
