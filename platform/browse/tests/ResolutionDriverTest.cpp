// Browses of SQL Server Browsers on this computer's loopback: what is asked, what is gathered, what
// is left out, and that the wait ends whatever arrives.

#include "ResolutionDriver.h"

#include "common/HandleOwners.h"
#include "common/StringUtils.h"
#include "platform/browse/ResolutionProtocol.h"
#include "testsupport/RunProgram.h"
#include "tools/browseresponder/ResolutionResponder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

using namespace platform::browse;
using namespace std::chrono_literals;

namespace {

const platform::CInterfaceAddresses& Interfaces()
{
    static const platform::CInterfaceAddresses interfaces = platform::CInterfaceAddresses::Read();
    return interfaces;
}

std::vector<BrowseTarget> Targets(const std::string& strList)
{
    std::vector<std::wstring> notes;
    auto targets = ResolveTargetList(NarrowToWide(strList), Interfaces(), notes);
    EXPECT_TRUE(notes.empty());
    return targets;
}

// A browse ends once every computer asked has answered or refused: its wait is then only a hang
// guard, however long a loaded machine holds a responder back.
constexpr std::chrono::milliseconds kHangGuard = kLongestWait;

bool HasNote(const BrowseResult& result, const std::wstring& strNote)
{
    return std::find(result.notes.begin(), result.notes.end(), strNote) != result.notes.end();
}

// A computer that answers from another port than the one it was asked on, and then, once the
// condition holds, from its own.
class CAnswerFromElsewhereFirst
{
public:
    explicit CAnswerFromElsewhereFirst(std::function<bool()> answerItselfWhen) : m_asked(Bound()), m_answering(Bound())
    {
        m_thread = std::thread([this, answerItselfWhen = std::move(answerItselfWhen)] {
            pollfd descriptor{m_asked.Get(), POLLIN, 0};
            if (::poll(&descriptor, 1, static_cast<int>(kHangGuard.count())) <= 0)
                return;
            std::uint8_t request = 0;
            sockaddr_in source{};
            socklen_t cbSource = sizeof source;
            ::recvfrom(m_asked.Get(), &request, 1, 0, reinterpret_cast<sockaddr*>(&source), &cbSource);
            const auto* pSource = reinterpret_cast<const sockaddr*>(&source);
            const auto spoof = tools::InstancesAnswer({"SPOOF"});
            ::sendto(m_answering.Get(), spoof.data(), spoof.size(), 0, pSource, cbSource);
            const auto deadline = std::chrono::steady_clock::now() + kHangGuard;
            while (!answerItselfWhen() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const auto answer = tools::InstancesAnswer({"ASKED"});
            ::sendto(m_asked.Get(), answer.data(), answer.size(), 0, pSource, cbSource);
        });
    }
    ~CAnswerFromElsewhereFirst() { m_thread.join(); }
    CAnswerFromElsewhereFirst(const CAnswerFromElsewhereFirst&) = delete;
    CAnswerFromElsewhereFirst& operator=(const CAnswerFromElsewhereFirst&) = delete;

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
    // One computer at each address, which answers for all its instances at once: a computer that
    // has answered is not waited for any more.
    const tools::CResolutionResponder first(tools::AnswersForServers({"SQL01", "SQL01\\SALES"}));
    const tools::CResolutionResponder second(tools::AnswersForServers({"SQL02\\HR"}));
    const tools::CResolutionResponder third(tools::AnswersForServers({"SQL01"}));
    const tools::CResolutionResponder fourth(tools::AnswersForServers({"sql01"}));
    const BrowseResult result =
        BrowseServers(Targets(first.Target() + ", " + second.Target() + "," + third.Target() + "," + fourth.Target()),
                      kHangGuard, Interfaces());
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
    for (const tools::CResolutionResponder* pComputer : {&first, &second, &third, &fourth})
        EXPECT_GE(pComputer->RequestsAnswered(), 1);
}

TEST(ResolutionDriver, NobodyListeningGivesAnEmptyBrowse)
{
    const BrowseResult result = BrowseServers(Targets("127.0.0.1:9"), kHangGuard, Interfaces());
    ASSERT_TRUE(result.text);
    EXPECT_EQ(*result.text, L"Server=");
    EXPECT_EQ(*BrowseServers({}, kHangGuard, Interfaces()).text, L"Server=");
}

TEST(ResolutionDriver, AnswersThatAreNoAnswersOrComeFromElsewhereAreLeftOut)
{
    const std::string strGood = "ServerName;GOOD;InstanceName;MSSQLSERVER;;";
    // The other computer answers itself only once the first has sent all its datagrams: the
    // browse, which ends soon after both have answered, has every one of them by then.
    std::atomic<bool> bHostileDone = false;
    tools::ResponderOptions options;
    options.afterAnswering = [&bHostileDone] { bHostileDone = true; };
    const tools::CResolutionResponder hostile(
        {
            tools::FramedAnswer(strGood), tools::Datagram(65507, 0x41), // 64 KiB of garbage
            tools::FramedAnswer(strGood, 9000),                         // a length that lies
            tools::FramedAnswer("ServerName;A,B;InstanceName;I;;"),     // a name that breaks the list
            tools::FramedAnswer("ServerName;HALF;InstanceName;DONE"),   // never finished
        },
        options);
    const CAnswerFromElsewhereFirst spoofer([&bHostileDone] { return bHostileDone.load(); });
    const BrowseResult result =
        BrowseServers(Targets(hostile.Target() + "," + spoofer.Target()), kHangGuard, Interfaces());
    ASSERT_TRUE(result.text);
    EXPECT_EQ(*result.text, L"Server={GOOD,ASKED}");
    EXPECT_TRUE(HasNote(result, L"2 answers that were no server resolution answers were left out."));
    EXPECT_TRUE(HasNote(result, L"An instance whose name cannot be listed was left out: A,B\\I"));
    EXPECT_TRUE(HasNote(result, L"An instance that the answer did not finish was left out."));
}

TEST(ResolutionDriver, AThousandAnswersAtOnceAreTakenAndTheBrowseEnds)
{
    const tools::CResolutionResponder flood(
        std::vector<tools::Datagram>(1000, tools::FramedAnswer("ServerName;FLOOD;InstanceName;MSSQLSERVER;;")));
    const BrowseResult result = BrowseServers(Targets(flood.Target()), kHangGuard, Interfaces());
    ASSERT_TRUE(result.text);
    EXPECT_EQ(*result.text, L"Server={FLOOD}");
}

TEST(ResolutionDriver, NotesAreCappedAndCounted)
{
    std::string strText;
    for (int i = 0; i < 40; ++i)
        strText += "ServerName;BAD{" + std::to_string(i) + "};InstanceName;I;;";
    const tools::CResolutionResponder responder({tools::FramedAnswer(strText)});
    const BrowseResult result = BrowseServers(Targets(responder.Target()), kHangGuard, Interfaces());
    ASSERT_EQ(result.notes.size(), 33u);
    EXPECT_EQ(result.notes.back(), L"8 more notes were left out.");
}

namespace {

// A target that the browse treats as a broadcast, although it is one computer of the loopback:
// nothing here may broadcast.
BrowseTarget AsBroadcast(const tools::CResolutionResponder& responder)
{
    BrowseTarget target = Targets(responder.Target()).front();
    target.bBroadcast = true;
    return target;
}

std::vector<std::uint8_t> FirstBytes(const std::vector<tools::Datagram>& requests)
{
    std::vector<std::uint8_t> bytes;
    for (const tools::Datagram& request : requests)
        bytes.push_back(request.empty() ? 0 : request.front());
    return bytes;
}

} // namespace

TEST(ResolutionDriver, AComputerGetsTheUnicastRequestAndABroadcastTheBroadcastOne)
{
    const tools::CResolutionResponder computer(tools::AnswersForServers({"NAMED"}));
    const tools::CResolutionResponder everyone(tools::AnswersForServers({"ANYONE"}));
    std::vector<BrowseTarget> targets = Targets(computer.Target());
    targets.push_back(AsBroadcast(everyone));
    // A broadcast is out until the wait ends, and asked again within it.
    const BrowseResult result = BrowseServers(targets, 1500ms, Interfaces());
    EXPECT_EQ(result.text, L"Server={NAMED,ANYONE}");
    const auto toComputer = FirstBytes(computer.Requests());
    ASSERT_FALSE(toComputer.empty());
    EXPECT_EQ(toComputer, std::vector<std::uint8_t>(toComputer.size(), CLNT_UCAST_EX));
    EXPECT_EQ(FirstBytes(everyone.Requests()), std::vector<std::uint8_t>(kRequestTimes.size(), CLNT_BCAST_EX));
    for (const tools::Datagram& request : computer.Requests())
        EXPECT_EQ(request.size(), 1u);
}

TEST(ResolutionDriver, AComputerThatDoesNotAnswerIsAskedAgainWithinTheWait)
{
    tools::ResponderOptions options;
    options.nRequestsLost = static_cast<int>(kRequestTimes.size()) - 1;
    const tools::CResolutionResponder lossy(tools::AnswersForServers({"LATE"}), options);
    // The wait is a guard: the browse ends once the computer has answered.
    const BrowseResult result = BrowseServers(Targets(lossy.Target()), kLongestWait, Interfaces());
    EXPECT_EQ(result.text, L"Server={LATE}");
    EXPECT_EQ(lossy.Requests().size(), kRequestTimes.size());
    EXPECT_EQ(lossy.RequestsAnswered(), 1);
}

TEST(ResolutionDriver, AnAnswerThatComesAgainIsTakenOnce)
{
    // Whether asked again or answering twice, a computer's same answer counts once: its notes too.
    const std::vector<tools::Datagram> answer = {
        tools::FramedAnswer("ServerName;GOOD;InstanceName;MSSQLSERVER;;ServerName;A,B;InstanceName;I;;")};
    tools::ResponderOptions twice;
    twice.nRepeats = 2;
    const tools::CResolutionResponder repeating(answer, twice);
    const tools::CResolutionResponder broadcastAnswer(answer);
    const BrowseResult result =
        BrowseServers({Targets(repeating.Target()).front(), AsBroadcast(broadcastAnswer)}, 1500ms, Interfaces());
    EXPECT_EQ(result.text, L"Server={GOOD}");
    EXPECT_EQ(repeating.AnswersSent(), 2u * repeating.Requests().size());
    EXPECT_EQ(broadcastAnswer.AnswersSent(), kRequestTimes.size());
    EXPECT_EQ(result.notes,
              (std::vector<std::wstring>(2, L"An instance whose name cannot be listed was left out: A,B\\I")));
}

TEST(ResolutionDriver, AComputerMayAnswerFromAnotherOfItsAddresses)
{
    tools::ResponderOptions options;
    options.answerFrom = "127.0.0.2";
    const tools::CResolutionResponder elsewhere(tools::AnswersForServers({"SQLCLUSTER\\INST"}), options);
    const BrowseResult result = BrowseServers(Targets(elsewhere.Target()), kLongestWait, Interfaces());
    EXPECT_EQ(result.text, L"Server={SQLCLUSTER\\INST}");
    EXPECT_TRUE(result.notes.empty());
}

TEST(ResolutionDriver, IPv6ComputersAreAsked)
{
    tools::ResponderOptions options;
    options.strAddress = "::1";
    std::unique_ptr<tools::CResolutionResponder> pResponder;
    try {
        pResponder = std::make_unique<tools::CResolutionResponder>(tools::AnswersForServers({"SIX"}), options);
    } catch (const std::runtime_error& error) {
        GTEST_SKIP() << "this computer has no IPv6 loopback: " << error.what();
    }
    ASSERT_TRUE(pResponder->Target().starts_with("[::1]:"));
    const BrowseResult result = BrowseServers(Targets(pResponder->Target() + ",[::1]:9"), kLongestWait, Interfaces());
    EXPECT_EQ(result.text, L"Server={SIX}");
    EXPECT_EQ(FirstBytes(pResponder->Requests()), std::vector<std::uint8_t>{CLNT_UCAST_EX});
}

TEST(ResolutionDriver, AFloodEndsWithTheWait)
{
    // A computer that answers with valid 64 KiB answers as fast as it can, for far longer than the
    // wait: the browse ends while the flood goes on.
    std::string strText;
    for (int i = 0; strText.size() < 65000 - 64; ++i)
        strText += "ServerName;FLOOD" + std::to_string(i) + ";InstanceName;MSSQLSERVER;;";
    tools::ResponderOptions options;
    options.nRepeats = 1000000;
    tools::CResolutionResponder flood({tools::FramedAnswer(strText)}, options);
    const BrowseResult result = BrowseServers(Targets(flood.Target()), 300ms, Interfaces());
    const int nFloodsDone = flood.RequestsAnswered();
    flood.Stop();
    EXPECT_EQ(nFloodsDone, 0) << "the browse waited for the flood to end";
    ASSERT_TRUE(result.text);
    EXPECT_TRUE(result.text->starts_with(L"Server={FLOOD0,FLOOD1,")) << WideToNarrow(result.text->substr(0, 40));
}
