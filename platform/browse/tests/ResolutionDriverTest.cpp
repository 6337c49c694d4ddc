// Browses of SQL Server Browsers on 127.0.0.1: what is gathered, what is left out, and that the
// wait ends whatever arrives.

#include "ResolutionDriver.h"

#include "common/HandleOwners.h"
#include "common/StringUtils.h"
#include "platform/browse/ResolutionProtocol.h"
#include "testsupport/RunProgram.h"
#include "tools/browseresponder/ResolutionResponder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

using namespace platform::browse;
using namespace std::chrono_literals;

namespace {

std::vector<BrowseTarget> Targets(const std::string& strList)
{
    std::vector<std::wstring> notes;
    auto targets = ResolveTargetList(NarrowToWide(strList), notes);
    EXPECT_TRUE(notes.empty());
    return targets;
}

bool HasNote(const BrowseResult& result, const std::wstring& strNote)
{
    return std::find(result.notes.begin(), result.notes.end(), strNote) != result.notes.end();
}

// A computer that answers from another port than the one it was asked on.
class CAnswerFromElsewhere
{
public:
    CAnswerFromElsewhere() : m_asked(Bound()), m_answering(Bound())
    {
        m_thread = std::thread([this] {
            pollfd descriptor{m_asked.Get(), POLLIN, 0};
            if (::poll(&descriptor, 1, 5000) <= 0)
                return;
            std::uint8_t request = 0;
            sockaddr_in source{};
            socklen_t cbSource = sizeof source;
            ::recvfrom(m_asked.Get(), &request, 1, 0, reinterpret_cast<sockaddr*>(&source), &cbSource);
            const auto answer = tools::InstancesAnswer({"SPOOF"});
            ::sendto(m_answering.Get(), answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&source),
                     cbSource);
        });
    }
    ~CAnswerFromElsewhere() { m_thread.join(); }
    CAnswerFromElsewhere(const CAnswerFromElsewhere&) = delete;
    CAnswerFromElsewhere& operator=(const CAnswerFromElsewhere&) = delete;

    std::string Target() const { return "127.0.0.1:" + std::to_string(PortOf(m_asked.Get())); }

private:
    static CAutoFileHandle Bound()
    {
        CAutoFileHandle socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return socket;
    }
    static unsigned PortOf(int iSocket)
    {
        sockaddr_in address{};
        socklen_t cbAddress = sizeof address;
        ::getsockname(iSocket, reinterpret_cast<sockaddr*>(&address), &cbAddress);
        return ntohs(address.sin_port);
    }

    CAutoFileHandle m_asked;
    CAutoFileHandle m_answering;
    std::thread m_thread;
};

} // namespace

TEST(ResolutionDriver, GathersTheAnswersOfEveryTarget)
{
    const tools::CResolutionResponder first(tools::AnswersForServers({"SQL01", "SQL01\\SALES", "sql01"}));
    const tools::CResolutionResponder second(tools::AnswersForServers({"SQL02\\HR", "SQL01"}));
    const BrowseResult result = BrowseServers(Targets(first.Target() + ", " + second.Target()), 5s);
    ASSERT_TRUE(result.text);
    // Which answer arrives first is the network's affair: every instance of every answer is there,
    // once; names that differ in case are other names.
    ASSERT_TRUE(result.text->starts_with(L"Server={") && result.text->ends_with(L"}")) << WideToNarrow(*result.text);
    std::vector<std::wstring> names;
    std::wstringstream list(result.text->substr(8, result.text->size() - 9));
    for (std::wstring strName; std::getline(list, strName, L',');)
        names.push_back(strName);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"SQL01", L"SQL01\\SALES", L"SQL02\\HR", L"sql01"}));
    EXPECT_TRUE(result.notes.empty());
    EXPECT_EQ(first.RequestsAnswered(), 1);
    EXPECT_EQ(second.RequestsAnswered(), 1);
}

TEST(ResolutionDriver, NobodyListeningGivesAnEmptyBrowse)
{
    const BrowseResult result = BrowseServers(Targets("127.0.0.1:9"), 5s);
    ASSERT_TRUE(result.text);
    EXPECT_EQ(*result.text, L"Server=");
    EXPECT_EQ(*BrowseServers({}, 5s).text, L"Server=");
}

TEST(ResolutionDriver, AnswersThatAreNoAnswersOrComeFromElsewhereAreLeftOut)
{
    const std::string strGood = "ServerName;GOOD;InstanceName;MSSQLSERVER;;";
    const tools::CResolutionResponder hostile({
        tools::FramedAnswer(strGood), tools::Datagram(65507, 0x41), // 64 KiB of garbage
        tools::FramedAnswer(strGood, 9000),                         // a length that lies
        tools::FramedAnswer("ServerName;A,B;InstanceName;I;;"),     // a name that breaks the list
        tools::FramedAnswer("ServerName;HALF;InstanceName;DONE"),   // never finished
    });
    const CAnswerFromElsewhere spoofer;
    // The computer asked never answers itself: the browse waits for it to the end.
    const BrowseResult result = BrowseServers(Targets(hostile.Target() + "," + spoofer.Target()), 500ms);
    ASSERT_TRUE(result.text);
    EXPECT_EQ(*result.text, L"Server={GOOD}");
    EXPECT_TRUE(HasNote(result, L"2 answers that were no server resolution answers were left out."));
    EXPECT_TRUE(HasNote(result, L"An instance whose name cannot be listed was left out: A,B\\I"));
    EXPECT_TRUE(HasNote(result, L"An instance that the answer did not finish was left out."));
}

TEST(ResolutionDriver, AThousandAnswersAtOnceAreTakenAndTheBrowseEnds)
{
    const tools::CResolutionResponder flood(
        std::vector<tools::Datagram>(1000, tools::FramedAnswer("ServerName;FLOOD;InstanceName;MSSQLSERVER;;")));
    const BrowseResult result = BrowseServers(Targets(flood.Target()), 200ms);
    ASSERT_TRUE(result.text);
    EXPECT_EQ(*result.text, L"Server={FLOOD}");
}

TEST(ResolutionDriver, NotesAreCappedAndCounted)
{
    std::string strText;
    for (int i = 0; i < 40; ++i)
        strText += "ServerName;BAD{" + std::to_string(i) + "};InstanceName;I;;";
    const tools::CResolutionResponder responder({tools::FramedAnswer(strText)});
    const BrowseResult result = BrowseServers(Targets(responder.Target()), 5s);
    ASSERT_EQ(result.notes.size(), 33u);
    EXPECT_EQ(result.notes.back(), L"8 more notes were left out.");
}

TEST(BrowseTargets, ListsNameHostsAndPortsAndNoteWhatTheyCannotUse)
{
    std::vector<std::wstring> notes;
    const auto targets = ResolveTargetList(L" 127.0.0.1 ,127.0.0.1:2345,,127.0.0.1:0,127.0.0.1:70000,:1434,"
                                           L"127.0.0.1:x,255.255.255.255:1500",
                                           notes);
    ASSERT_EQ(targets.size(), 3u);
    EXPECT_EQ(ntohs(targets[0].address.sin_port), 1434);
    EXPECT_EQ(ntohs(targets[1].address.sin_port), 2345);
    EXPECT_FALSE(targets[0].bBroadcast);
    EXPECT_TRUE(targets[2].bBroadcast);
    EXPECT_EQ(notes, (std::vector<std::wstring>{
                         L"The browse target 127.0.0.1:0 names no IPv4 address and port.",
                         L"The browse target 127.0.0.1:70000 names no IPv4 address and port.",
                         L"The browse target :1434 names no IPv4 address and port.",
                         L"The browse target 127.0.0.1:x names no IPv4 address and port.",
                     }));
}

TEST(BrowseTargets, TheEnvironmentNamesThemBeforeTheRegistryAndTheWaitHasALimit)
{
    const auto registry = platform::Registry::FromText("[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\Keeplib\\Browse]\n"
                                                       "\"Targets\"=\"10.1.1.1\"\n"
                                                       "\"WaitMilliseconds\"=dword:ffffffff\n");
    ::unsetenv("VESTREL_BROWSE_TARGETS");
    BrowseSettings settings = ReadBrowseSettings(registry);
    EXPECT_EQ(settings.targetList, L"10.1.1.1");
    EXPECT_EQ(settings.wait, kLongestWait);
    ::setenv("VESTREL_BROWSE_TARGETS", "127.0.0.1:9", 1);
    settings = ReadBrowseSettings(registry);
    EXPECT_EQ(settings.targetList, L"127.0.0.1:9");
    // Set but empty, it asks nobody, as an empty list in the registry does: never the broadcasts.
    ::setenv("VESTREL_BROWSE_TARGETS", "", 1);
    settings = ReadBrowseSettings(registry);
    EXPECT_EQ(settings.targetList, L"");
    settings = ReadBrowseSettings(platform::Registry::FromText(""));
    EXPECT_EQ(settings.targetList, L"");
    EXPECT_EQ(settings.wait, kDefaultWait);
    ::setenv("VESTREL_BROWSE_TARGETS", "127.0.0.1:9", 1);
}
