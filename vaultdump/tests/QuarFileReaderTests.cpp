// The quarantine file reader, DecodeContent and ExtractFile, on files written into scratch folders.

#include "TestFiles.h"
#include "vaultdump/QuarFileReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace VaultdumpTest;
using Vaultdump::ByteSafeArray;
using Vaultdump::ContentVariant;
using Vaultdump::CQuarFileReader;

namespace {

constexpr HRESULT kEndOfFile = MakeHResult(0x80070026);

struct ReadOutcome
{
    HRESULT hrHeader = E_FAIL;
    HRESULT hrContent = E_FAIL;
    std::string strContent; // as stored, still complemented
};

ReadOutcome ReadQuarFile(const std::string& strBytes, std::size_t cbChunkSize = Vaultdump::kHeaderChunkSize)
{
    const testsupport::ScratchFolder folder;
    const auto path = folder.Write("Q.tmp", strBytes);
    CQuarFileReader reader(cbChunkSize);
    ReadOutcome outcome;
    EXPECT_EQ(reader.Open(path.c_str(), true), S_OK);
    outcome.hrHeader = reader.ReadHeader();
    if (SUCCEEDED(outcome.hrHeader)) {
        ContentVariant varContent;
        outcome.hrContent = reader.ReadContent(&varContent);
        EXPECT_EQ(varContent.vt, Vaultdump::VT_ARRAY | Vaultdump::VT_UI1);
        outcome.strContent.assign(varContent.parray.begin(), varContent.parray.end());
    }
    return outcome;
}

// --- the HED line and the header's line structure --------------------------------------------

struct HeaderCase
{
    const char* szName;
    std::string strBytes;
    HRESULT hrExpected;
};

class HeaderCheck : public testing::TestWithParam<HeaderCase>
{
};

TEST_P(HeaderCheck, GivesTheResultOfItsCase)
{
    // Every block size gives the same result: a boundary may fall anywhere, inside a code unit too.
    for (const std::size_t cbChunk : {std::size_t{4000}, std::size_t{1}, std::size_t{3}, std::size_t{7}}) {
        SCOPED_TRACE(cbChunk);
        EXPECT_EQ(HResultBits(ReadQuarFile(GetParam().strBytes, cbChunk).hrHeader), HResultBits(GetParam().hrExpected));
    }
}

const std::string kTail = "\x96\x97";

INSTANTIATE_TEST_SUITE_P(
    QuarFileReader, HeaderCheck,
    testing::Values(HeaderCase{"Minimal", HedLine(u"0000") + kTail, S_OK},
                    HeaderCase{"ExactlyTwentyNineUnits", HedLine(u"0000", 29), S_OK},
                    HeaderCase{"LongHedLine", HedLine(u"0000", 5000), S_OK},
                    HeaderCase{"TwentyEightUnits", HedLine(u"0000", 28) + kTail, E_INVALIDARG},
                    HeaderCase{"ByteOrderMark", "\xFF\xFE" + HedLine(u"0000"), E_INVALIDARG},
                    HeaderCase{"LowerCaseHed", U16(u"hed0000xxxxxxxxxxxxxxxxxxxxxx\r\n"), E_INVALIDARG},
                    HeaderCase{"MixedCaseHed", U16(u"HeD0000xxxxxxxxxxxxxxxxxxxxxx\r\n"), E_INVALIDARG},
                    HeaderCase{"LineShorterThanThree", U16(u"HE\r\n") + kTail, E_INVALIDARG},
                    HeaderCase{"EmptyFirstLine", U16(u"\r\n") + kTail, E_INVALIDARG},
                    HeaderCase{"OtherFirstLine", U16(u"SRV0000xxxxxxxxxxxxxxxxxxxxxx\r\n"), E_INVALIDARG},
                    HeaderCase{"NarrowText",
                               std::string("HED0000xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n"),
                               kEndOfFile},
                    HeaderCase{"LoneCrInHedLine", U16(u"HED0000xxxx\rxxxxxxxxxxxxxxxxxx\r\n"), E_UNEXPECTED},
                    // The whole first line is read before it is judged: a CR fault wins over a wrong name.
                    HeaderCase{"LoneCrInForeignLine", U16(u"XYZ\rabc\r\n"), E_UNEXPECTED},
                    HeaderCase{"CrCrLf", U16(u"HED0000xxxxxxxxxxxxxxxxxxxxxx\r\r\n"), E_UNEXPECTED},
                    HeaderCase{"LoneCrInHeaderLine", HedLine(u"0002") + U16(u"one\r\nt\rwo\r\n"), E_UNEXPECTED},
                    HeaderCase{"CrThenNul", HedLine(u"0001") + U16(std::u16string(u"a\r\0\n", 4)), E_UNEXPECTED},
                    HeaderCase{"LoneLfIsAnOrdinaryUnit", HedLine(u"0001") + U16(u"a\nb\n\r\n"), S_OK},
                    HeaderCase{"NulIsAnOrdinaryUnit", HedLine(u"0001") + U16(std::u16string(u"a\0b\r\n", 5)), S_OK},
                    HeaderCase{"LfCrLf", HedLine(u"0001") + U16(u"\n\r\n"), S_OK},
                    HeaderCase{"EmptyFile", "", kEndOfFile}, HeaderCase{"OneByte", "H", kEndOfFile},
                    HeaderCase{"HedLineWithoutEnd", U16(u"HED0000xxxxxxxxxxxxxxxxxxxxxx"), kEndOfFile},
                    HeaderCase{"EndsAfterCr", U16(u"HED0000xxxxxxxxxxxxxxxxxxxxxx\r"), kEndOfFile},
                    HeaderCase{"EndsInsideCrUnit", U16(u"HED0000xxxxxxxxxxxxxxxxxxxxxx") + "\x0D", kEndOfFile},
                    HeaderCase{"EndsInsideLfUnit", U16(u"HED0000xxxxxxxxxxxxxxxxxxxxxx\r") + "\x0A", kEndOfFile},
                    HeaderCase{"FewerLinesThanCounted", HedLine(u"0003") + U16(u"one\r\ntwo\r\n"), kEndOfFile},
                    HeaderCase{"LastLineWithoutEnd", HedLine(u"0002") + U16(u"one\r\ntwo"), kEndOfFile},
                    HeaderCase{"LinesExactlyCounted", HedLine(u"0002") + U16(u"one\r\ntwo\r\n"), S_OK}),
    [](const testing::TestParamInfo<HeaderCase>& caseInfo) { return std::string(caseInfo.param.szName); });

// --- the lines of the header, kept -------------------------------------------------------------

TEST(QuarFileReader, KeepsTheHeaderLinesUpToTheGivenTotal)
{
    const testsupport::ScratchFolder folder;
    const std::u16string strHed = u"HED0003" + std::u16string(22, u'x') + u"tail";
    const auto path = folder.Write("Q.tmp", U16(strHed + u"\r\nfirst\r\nsecond line\r\n\r\n") + "item");
    struct KeepCase
    {
        std::size_t cchKeep;
        std::vector<std::u16string> expected;
    };
    const std::vector<KeepCase> cases = {
        {1000, {strHed, u"first", u"second line", u""}},
        // The allowance runs out inside the third line; the lines after it are kept empty.
        {strHed.size() + 8, {strHed, u"first", u"sec", u""}},
        // The HED line is still read whole enough to be checked.
        {3, {u"HED", u"", u"", u""}},
        {0, {u"", u"", u"", u""}},
    };
    for (const KeepCase& keepCase : cases) {
        SCOPED_TRACE(keepCase.cchKeep);
        CQuarFileReader reader(3);
        ASSERT_EQ(reader.Open(path.c_str(), true), S_OK);
        std::vector<std::u16string> lines{u"left over"};
        EXPECT_EQ(reader.ReadHeader(lines, keepCase.cchKeep), S_OK);
        EXPECT_TRUE(lines == keepCase.expected);
        ContentVariant varContent;
        ASSERT_EQ(reader.ReadContent(&varContent), S_OK);
        EXPECT_EQ(std::string(varContent.parray.begin(), varContent.parray.end()), "item");
    }
    // A damaged header fails as it does without the lines.
    const auto damaged = folder.Write("Q2.tmp", HedLine(u"0002") + U16(u"one\r\n"));
    CQuarFileReader reader;
    ASSERT_EQ(reader.Open(damaged.c_str(), true), S_OK);
    std::vector<std::u16string> lines;
    EXPECT_EQ(reader.ReadHeader(lines, 100), kEndOfFile);
}

// --- N, the count of header lines ----------------------------------------------------------------

struct CountCase
{
    const char* szName;
    std::u16string strField;
    long lCount; // as parsed; a count below 1 skips no line
};

class HeaderLineCount : public testing::TestWithParam<CountCase>
{
};

TEST_P(HeaderLineCount, SkipsTheLinesItCounts)
{
    // Twelve lines follow the HED line; what the count leaves unread is content.
    std::string strLines;
    for (int i = 0; i < 12; ++i)
        strLines += U16(std::u16string{u'L', static_cast<char16_t>(u'a' + i), u'\r', u'\n'});
    std::string strExpected;
    for (long i = std::max(GetParam().lCount, 0L); i < 12; ++i)
        strExpected += U16(std::u16string{u'L', static_cast<char16_t>(u'a' + i), u'\r', u'\n'});
    const ReadOutcome outcome = ReadQuarFile(HedLine(GetParam().strField) + strLines + "item");
    ASSERT_EQ(outcome.hrHeader, S_OK);
    EXPECT_EQ(outcome.hrContent, S_OK);
    EXPECT_EQ(outcome.strContent, strExpected + "item");
    EXPECT_EQ(Vaultdump::ParseHeaderLineCount(GetParam().strField), GetParam().lCount);
}

INSTANTIATE_TEST_SUITE_P(QuarFileReader, HeaderLineCount,
                         testing::Values(CountCase{"ZeroPadded", u"0003", 3}, CountCase{"LeadingBlanks", u"   3", 3},
                                         CountCase{"PlusSign", u"+003", 3}, CountCase{"Zero", u"0000", 0},
                                         CountCase{"MinusNine", u"  -9", -9}, CountCase{"Letters", u"abcd", 0},
                                         CountCase{"MinusOne", u"-001", -1}, CountCase{"DigitsThenLetters", u"3abc", 3},
                                         CountCase{"TwoDigitsThenBlank", u"11 x", 11}, CountCase{"Ten", u"0010", 10},
                                         CountCase{"TabAndSign", u"\t+2x", 2},
                                         CountCase{"LoneLfIsWhiteSpace", u"\n003", 3},
                                         CountCase{"SignOnly", u"+   ", 0}, CountCase{"BlankAfterSign", u"+ 12", 0},
                                         CountCase{"TwoSigns", u"+-12", 0},
                                         CountCase{"NulStopsTheNumber",
                                                   std::u16string(u"1\0"
                                                                  u"23",
                                                                  4),
                                                   1},
                                         CountCase{"FullWidthDigitIsNoDigit", u"\uFF13003", 0}),
                         [](const testing::TestParamInfo<CountCase>& caseInfo) {
                             return std::string(caseInfo.param.szName);
                         });

TEST(QuarFileReader, CountOnlyReadsFourUnits)
{
    // Positions 7 onward are not part of the count, digits or not.
    const ReadOutcome outcome = ReadQuarFile(U16(u"HED00019999999999999999999999\r\n") + U16(u"one\r\n") + "x");
    ASSERT_EQ(outcome.hrHeader, S_OK);
    EXPECT_EQ(outcome.strContent, "x");
}

// --- block boundaries -------------------------------------------------------------------------

TEST(QuarFileReader, HeaderAcrossBlockBoundariesReadsAlike)
{
    // Header lengths around one and two blocks, so that a line end, or the content's start, falls
    // just before, on and after each boundary.
    for (const std::size_t cbHeader : {3996u, 3998u, 4000u, 4002u, 4004u, 7998u, 8000u, 8002u, 12050u}) {
        SCOPED_TRACE(cbHeader);
        // HED line then one header line padded to make up the length.
        const std::size_t cchHed = 29;
        const std::size_t cchLine = cbHeader / 2 - (cchHed + 2) - 2;
        const std::string strHeader = HedLine(u"0001", cchHed) + U16(std::u16string(cchLine, u'y') + u"\r\n");
        ASSERT_EQ(strHeader.size(), cbHeader);
        const std::string strItem = AllByteValues();
        for (const std::size_t cbChunk : {std::size_t{4000}, std::size_t{3999}, std::size_t{1}, std::size_t{5}}) {
            SCOPED_TRACE(cbChunk);
            const ReadOutcome outcome = ReadQuarFile(strHeader + QuarWriter::Complemented(strItem), cbChunk);
            ASSERT_EQ(outcome.hrHeader, S_OK);
            EXPECT_EQ(outcome.hrContent, S_OK);
            EXPECT_EQ(outcome.strContent, QuarWriter::Complemented(strItem));
        }
    }
}

TEST(QuarFileReader, CrLfSplitByBlockBoundaryEndsTheLine)
{
    // The CR is the last unit of the first block and the LF the first of the next; with a block of
    // 3999 bytes the boundary also cuts the CR itself in two.
    const std::size_t cchLine = 4000 / 2 - (29 + 2) - 1;
    const std::string strHeader = HedLine(u"0001") + U16(std::u16string(cchLine, u'z') + u"\r\n");
    ASSERT_EQ(strHeader.substr(3998, 2), std::string("\r\0", 2));
    for (const std::size_t cbChunk : {std::size_t{4000}, std::size_t{3999}, std::size_t{3998}}) {
        const ReadOutcome outcome = ReadQuarFile(strHeader + "tail", cbChunk);
        EXPECT_EQ(outcome.hrHeader, S_OK);
        EXPECT_EQ(outcome.strContent, "tail");
    }
    // The same place with a CR that no LF follows.
    const std::string strBroken = HedLine(u"0001") + U16(std::u16string(cchLine, u'z') + u"\rQ\n");
    EXPECT_EQ(ReadQuarFile(strBroken, 4000).hrHeader, E_UNEXPECTED);
    EXPECT_EQ(ReadQuarFile(strBroken, 3999).hrHeader, E_UNEXPECTED);
}

// --- content ------------------------------------------------------------------------------------

TEST(QuarFileReader, ContentIsTheRestOfTheFileAsStored)
{
    const std::string strItem = AllByteValues();
    const ReadOutcome outcome = ReadQuarFile(QuarFile(strItem, {u"one", u"two"}));
    ASSERT_EQ(outcome.hrHeader, S_OK);
    EXPECT_EQ(outcome.strContent, QuarWriter::Complemented(strItem));
}

TEST(QuarFileReader, EmptyContentIsAnEmptyArray)
{
    const ReadOutcome outcome = ReadQuarFile(HedLine(u"0001") + U16(u"only\r\n"));
    ASSERT_EQ(outcome.hrHeader, S_OK);
    EXPECT_EQ(outcome.hrContent, S_OK);
    EXPECT_TRUE(outcome.strContent.empty());
}

TEST(QuarFileReader, ContentLargerThanManyBlocks)
{
    // Past 4 MiB the buffer is mapped on its own: both kinds of buffer are read into.
    std::string strItem(5 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < strItem.size(); ++i)
        strItem[i] = static_cast<char>((i * 7919) >> 3);
    const ReadOutcome outcome = ReadQuarFile(QuarFile(strItem, {u"one"}));
    ASSERT_EQ(outcome.hrContent, S_OK);
    EXPECT_EQ(outcome.strContent, QuarWriter::Complemented(strItem));
}

TEST(QuarFileReader, ContentRunsToTheEndOfTheFileAsItIsWhenRead)
{
    // The file changes between ReadHeader and ReadContent, past the first 4000 bytes that the
    // header read has already taken: grown by several times the 4000 bytes the array is first
    // given beyond the size taken at Open, and cut short.
    const testsupport::ScratchFolder folder;
    const std::string strHeader = HedLine(u"0001") + U16(u"one\r\n");
    std::string strStored(23000, '\0');
    for (std::size_t i = 0; i < strStored.size(); ++i)
        strStored[i] = static_cast<char>(i * 31 + 5);
    for (const std::string& strAfterHeader : {strStored, strStored.substr(0, 6000)}) {
        SCOPED_TRACE(strAfterHeader.size());
        const auto path = folder.Write("Q.tmp", strHeader + strStored.substr(0, 10000));
        CQuarFileReader reader;
        ASSERT_EQ(reader.Open(path.c_str(), true), S_OK);
        ASSERT_EQ(reader.ReadHeader(), S_OK);
        folder.Write("Q.tmp", strHeader + strAfterHeader);
        ContentVariant varContent;
        ASSERT_EQ(reader.ReadContent(&varContent), S_OK);
        EXPECT_TRUE(std::string(varContent.parray.begin(), varContent.parray.end()) == strAfterHeader);
    }
}

TEST(QuarFileReader, ContentLengthCountsWhatTheHeaderLeft)
{
    const testsupport::ScratchFolder folder;
    const auto path = folder.Write("Q.tmp", QuarFile(std::string(5000, 'a'), {u"one"}));
    CQuarFileReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), false), S_OK);
    ASSERT_EQ(reader.ReadHeader(), S_OK);
    std::uint64_t cbLength = 0;
    EXPECT_EQ(reader.GetContentLength(&cbLength), S_OK);
    EXPECT_EQ(cbLength, 5000u);
    EXPECT_EQ(reader.GetContentLength(nullptr), E_POINTER);
}

TEST(QuarFileReader, ReadContentWantsAVariant)
{
    const testsupport::ScratchFolder folder;
    const auto path = folder.Write("Q.tmp", QuarFile("abc"));
    CQuarFileReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), true), S_OK);
    ASSERT_EQ(reader.ReadHeader(), S_OK);
    EXPECT_EQ(reader.ReadContent(nullptr), E_POINTER);
}

// --- Open -----------------------------------------------------------------------------------------

TEST(QuarFileReader, OpenResults)
{
    const testsupport::ScratchFolder folder;
    const auto path = folder.Write("Q.tmp", QuarFile("abc"));
    {
        CQuarFileReader reader;
        EXPECT_EQ(reader.Open(nullptr, true), E_INVALIDARG);
        EXPECT_EQ(reader.Open(path.c_str(), true), S_OK);
        EXPECT_EQ(reader.Open(path.c_str(), true), E_UNEXPECTED);
    }
    EXPECT_EQ(CQuarFileReader().Open((folder.Path() / "missing.tmp").c_str(), true), HRESULT_FROM_WIN32(2));
    EXPECT_EQ(CQuarFileReader().Open((folder.Path() / "no" / "Q.tmp").c_str(), true), HRESULT_FROM_WIN32(2));
    std::filesystem::create_directory(folder.Path() / "dir.tmp");
    EXPECT_EQ(CQuarFileReader().Open((folder.Path() / "dir.tmp").c_str(), true), HRESULT_FROM_WIN32(5));
    ASSERT_EQ(::mkfifo((folder.Path() / "pipe.tmp").c_str(), 0600), 0);
    EXPECT_EQ(CQuarFileReader().Open((folder.Path() / "pipe.tmp").c_str(), true), HRESULT_FROM_WIN32(5));
    const std::string strLong(300, 'n');
    EXPECT_EQ(CQuarFileReader().Open((folder.Path() / strLong).c_str(), true), HRESULT_FROM_WIN32(206));
}

TEST(QuarFileReader, UnreadableFileFailsToOpen)
{
    const testsupport::ScratchFolder folder;
    const auto path = folder.Write("Q.tmp", QuarFile("abc"));
    std::filesystem::permissions(path, std::filesystem::perms::none);
    if (::access(path.c_str(), R_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    EXPECT_EQ(CQuarFileReader().Open(path.c_str(), true), HRESULT_FROM_WIN32(5));
}

// --- DecodeContent ----------------------------------------------------------------------------

TEST(DecodeContent, ComplementsEveryByteInPlace)
{
    const std::string strItem = AllByteValues();
    ByteSafeArray arr(strItem.begin(), strItem.end());
    std::uint32_t cbLength = 0;
    ASSERT_EQ(Vaultdump::DecodeContent(arr, &cbLength), S_OK);
    EXPECT_EQ(cbLength, strItem.size());
    EXPECT_EQ(arr[0], 0xFF);
    EXPECT_EQ(arr[0xFF], 0x00);
    EXPECT_EQ(arr[0x5A], 0xA5);
    EXPECT_EQ(std::string(arr.begin(), arr.end()), QuarWriter::Complemented(strItem));
    ASSERT_EQ(Vaultdump::DecodeContent(arr, &cbLength), S_OK);
    EXPECT_EQ(std::string(arr.begin(), arr.end()), strItem);

    ByteSafeArray empty;
    cbLength = 7;
    EXPECT_EQ(Vaultdump::DecodeContent(empty, &cbLength), S_OK);
    EXPECT_EQ(cbLength, 0u);
    EXPECT_EQ(Vaultdump::DecodeContent(empty, nullptr), E_POINTER);
}

// --- ExtractFile ------------------------------------------------------------------------------

TEST(ExtractFile, WritesTheItemAndLeavesTheSource)
{
    const testsupport::ScratchFolder folder;
    const std::string strItem = AllByteValues();
    const std::string strQuar = QuarFile(strItem, {u"SRV x", u"ATT y"});
    const auto source = folder.Write("Q.tmp", strQuar);
    const auto target = folder.Path() / "out.tmp";
    EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), target.c_str()), S_OK);
    EXPECT_EQ(testsupport::ReadFile(target), strItem);
    EXPECT_EQ(testsupport::ReadFile(source), strQuar);
}

TEST(ExtractFile, ItemsAcrossContentBlockBoundaries)
{
    // The first block starts with what the header's last 4000-byte block left over; the sizes put
    // the item's end just before, on and after a block boundary, and past several blocks.
    const testsupport::ScratchFolder folder;
    const std::size_t cbBlock = Vaultdump::kContentBlockSize;
    for (const std::size_t cbItem : {cbBlock - 1, cbBlock, cbBlock + 1, 3 * cbBlock + 4001}) {
        SCOPED_TRACE(cbItem);
        std::string strItem(cbItem, '\0');
        for (std::size_t i = 0; i < cbItem; ++i)
            strItem[i] = static_cast<char>((i * 7919) >> 5);
        const auto source = folder.Write("Q.tmp", QuarFile(strItem, {u"one", u"two"}));
        const auto target = folder.Path() / "out.tmp";
        EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), target.c_str()), S_OK);
        EXPECT_TRUE(testsupport::ReadFile(target) == strItem);
    }
}

TEST(ExtractFile, EmptyItemGivesAnEmptyFile)
{
    const testsupport::ScratchFolder folder;
    const auto source = folder.Write("Q.tmp", QuarFile(""));
    const auto target = folder.Path() / "out.tmp";
    EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), target.c_str()), S_OK);
    ASSERT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

TEST(ExtractFile, TruncatesAnExistingTarget)
{
    const testsupport::ScratchFolder folder;
    const auto source = folder.Write("Q.tmp", QuarFile("short"));
    const auto target = folder.Write("out.tmp", std::string(10000, 'o'));
    EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), target.c_str()), S_OK);
    EXPECT_EQ(testsupport::ReadFile(target), "short");
}

TEST(ExtractFile, ReturnsTheReadersFailures)
{
    const testsupport::ScratchFolder folder;
    const auto target = folder.Path() / "out.tmp";
    const struct
    {
        std::string strBytes;
        HRESULT hr;
    } cases[] = {
        {"\xFF\xFE" + HedLine(u"0000"), E_INVALIDARG},
        {HedLine(u"0000", 28), E_INVALIDARG},
        {HedLine(u"0001") + U16(u"a\rb\r\n"), E_UNEXPECTED},
        {HedLine(u"0002") + U16(u"a\r\n"), kEndOfFile},
        {"", kEndOfFile},
    };
    for (const auto& c : cases) {
        const auto source = folder.Write("Q.tmp", c.strBytes);
        EXPECT_EQ(HResultBits(Vaultdump::ExtractFile(source.c_str(), target.c_str())), HResultBits(c.hr));
        // The header fails before the target is made.
        EXPECT_FALSE(std::filesystem::exists(target));
        EXPECT_EQ(testsupport::ReadFile(source), c.strBytes);
    }
    EXPECT_EQ(Vaultdump::ExtractFile((folder.Path() / "missing.tmp").c_str(), target.c_str()), HRESULT_FROM_WIN32(2));
    EXPECT_EQ(Vaultdump::ExtractFile(nullptr, target.c_str()), E_INVALIDARG);
    const auto source = folder.Write("Q.tmp", QuarFile("abc"));
    EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), nullptr), E_INVALIDARG);
    EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), (folder.Path() / "no" / "out.tmp").c_str()),
              HRESULT_FROM_WIN32(2));
    EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), folder.Path().c_str()), HRESULT_FROM_WIN32(267));
}

TEST(ExtractFile, DoesNotWriteThroughASymbolicLink)
{
    const testsupport::ScratchFolder folder;
    const auto source = folder.Write("Q.tmp", QuarFile("item"));
    const auto victim = folder.Write("victim", "keep me");
    const auto link = folder.Path() / "EXT1.tmp";
    std::filesystem::create_symlink(victim, link);
    EXPECT_TRUE(FAILED(Vaultdump::ExtractFile(source.c_str(), link.c_str())));
    EXPECT_EQ(testsupport::ReadFile(victim), "keep me");
}

TEST(ExtractFile, RefusesContentPastTheLimitBeforeReadingIt)
{
    // A sparse file: the content is 2 GiB and a byte long but takes no room on disk.
    const testsupport::ScratchFolder folder;
    const std::string strHeader = HedLine(u"0000");
    const auto source = folder.Write("Q.tmp", strHeader);
    {
        const CAutoFileHandle file(::open(source.c_str(), O_WRONLY));
        ASSERT_TRUE(file);
        ASSERT_EQ(::ftruncate(file.Get(), static_cast<off_t>(strHeader.size() + Vaultdump::kContentLengthLimit + 1)),
                  0);
    }
    const auto target = folder.Path() / "out.tmp";
    EXPECT_EQ(Vaultdump::ExtractFile(source.c_str(), target.c_str()), E_FAIL);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(ExtractFile, SocketFailsAsAFileThatCannotBeOpened)
{
    const testsupport::ScratchFolder folder;
    const auto socketPath = folder.Path() / "s.tmp";
    const CAutoFileHandle socket = VaultdumpTest::BindSocket(socketPath);
    ASSERT_TRUE(socket);
    const auto target = folder.Path() / "out.tmp";
    EXPECT_TRUE(FAILED(Vaultdump::ExtractFile(socketPath.c_str(), target.c_str())));
    EXPECT_FALSE(std::filesystem::exists(target));
}

} // namespace
