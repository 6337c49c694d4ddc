// Server resolution answers as computers on a network send them, good and bad.

#include "platform/browse/ResolutionProtocol.h"

#include "tools/browseresponder/ResolutionResponder.h"

#include <gtest/gtest.h>

using namespace platform::browse;
using tools::FramedAnswer;

namespace {

std::optional<ResolutionAnswer> Parse(const tools::Datagram& datagram)
{
    return ParseResolutionAnswer(datagram);
}

const std::string kSales = "ServerName;SQL01;InstanceName;SALES;IsClustered;No;Version;16.0.1000.6;tcp;1434;;";

} // namespace

TEST(ResolutionProtocol, NamesEachInstanceOfAnAnswerInItsOrder)
{
    const auto answer =
        Parse(FramedAnswer("ServerName;SQL01;InstanceName;MSSQLSERVER;IsClustered;No;Version;16.0;tcp;1433;;" + kSales +
                           "servername;sql01;instancename;mssqlserver;;"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->names, (std::vector<std::wstring>{L"SQL01", L"SQL01\\SALES", L"sql01"}));
    EXPECT_TRUE(answer->refusals.empty());
}

TEST(ResolutionProtocol, DatagramsThatAreNoAnswersAreRefusedWhole)
{
    const tools::Datagram cases[] = {
        {},
        {0x05, 0x01},
        {0x04, 0x00, 0x00},
        FramedAnswer(kSales, static_cast<std::uint16_t>(kSales.size() + 1)), // says more than it holds
        tools::Datagram(65536, 0xFF),
    };
    for (const auto& datagram : cases)
        EXPECT_FALSE(Parse(datagram)) << datagram.size();
}

TEST(ResolutionProtocol, OnlyTheLengthItDeclaresIsRead)
{
    tools::Datagram datagram = FramedAnswer(kSales);
    const std::string strTrailer = "ServerName;EXTRA;InstanceName;X;;";
    datagram.insert(datagram.end(), strTrailer.begin(), strTrailer.end());
    EXPECT_EQ(Parse(datagram)->names, std::vector<std::wstring>{L"SQL01\\SALES"});
}

TEST(ResolutionProtocol, InstancesWhoseNamesCannotBeListedAreLeftOutWithANote)
{
    struct Case
    {
        std::string strText;
        std::wstring strRefusal;
    };
    const std::string strLong(256, 'L');
    const Case cases[] = {
        {"ServerName;EVIL,X;InstanceName;A;;", L"An instance whose name cannot be listed was left out: EVIL,X\\A"},
        {"ServerName;S;InstanceName;A{B};;", L"An instance whose name cannot be listed was left out: S\\A{B}"},
        {"ServerName;S;InstanceName;A}B;;", L"An instance whose name cannot be listed was left out: S\\A}B"},
        {"ServerName;S\nFAKE;InstanceName;A;;", L"An instance whose name cannot be listed was left out: S\\x0aFAKE\\A"},
        {"ServerName;S\x1b[2J;InstanceName;A;;", L"An instance whose name cannot be listed was left out: S\\x1b[2J\\A"},
        {"ServerName;S;InstanceName;A\\B;;", L"An instance whose name cannot be listed was left out: S\\A\\B"},
        {"ServerName;;InstanceName;A;;", L"An instance whose name cannot be listed was left out: \\A"},
        {"ServerName;" + strLong + ";InstanceName;A;;",
         L"An instance whose name cannot be listed was left out: " + std::wstring(64, L'L') + L"...\\A"},
        {"InstanceName;A;;", L"An instance without a server or instance name was left out."},
        {"ServerName;S;InstanceName;A", L"An instance that the answer did not finish was left out."},
        {"ServerName;S;InstanceName;A;", L"An instance that the answer did not finish was left out."},
    };
    for (const Case& c : cases) {
        // Instances after a finished bad one are still listed.
        const bool bFinished = c.strText.ends_with(";;");
        const auto answer = Parse(FramedAnswer(bFinished ? c.strText + kSales : c.strText));
        ASSERT_TRUE(answer) << c.strText;
        EXPECT_EQ(answer->refusals, std::vector<std::wstring>{c.strRefusal}) << c.strText;
        EXPECT_EQ(answer->names, bFinished ? std::vector<std::wstring>{L"SQL01\\SALES"} : std::vector<std::wstring>())
            << c.strText;
    }
    const std::string strLongest(255, 'L');
    EXPECT_EQ(Parse(FramedAnswer("ServerName;" + strLongest + ";InstanceName;MSSQLSERVER;;"))->names,
              std::vector<std::wstring>(1, std::wstring(255, L'L')));
}

TEST(ResolutionProtocol, TextIsUtf8WhenItCanBeAndOneCharacterPerByteWhenNot)
{
    EXPECT_EQ(Parse(FramedAnswer("ServerName;\xC3\x84RGER;InstanceName;\xCE\xA9;;"))->names,
              std::vector<std::wstring>{L"\u00C4RGER\\\u03A9"});
    EXPECT_EQ(Parse(FramedAnswer("ServerName;\xC4RGER;InstanceName;\xFF;;"))->names,
              std::vector<std::wstring>{L"\u00C4RGER\\\u00FF"});
    // Bytes 0x80 to 0x9F stand for control characters then, and are refused.
    EXPECT_EQ(Parse(FramedAnswer("ServerName;S\x85;InstanceName;I;;"))->refusals.size(), 1u);
}

TEST(ResolutionProtocol, BrowseTextIsABraceListOnlyWhenThereAreNames)
{
    EXPECT_EQ(BrowseText({}), L"Server=");
    EXPECT_EQ(BrowseText({L"A"}), L"Server={A}");
    EXPECT_EQ(BrowseText({L"A", L"B\\C"}), L"Server={A,B\\C}");
}
