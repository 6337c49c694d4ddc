// Whose answer a datagram is: by the address it came from, this computer's other addresses, the
// host it names, or a broadcast. Nothing is sent: the addresses are only compared.

#include "AnswerSources.h"

#include "common/StringUtils.h"

#include <gtest/gtest.h>

using namespace platform::browse;
using platform::NetworkAddress;

namespace {

NetworkAddress Address(const std::string& strLiteral, std::uint16_t port)
{
    return *NetworkAddress::FromLiteral(strLiteral, port);
}

BrowseTarget Target(const std::wstring& strHost, std::vector<NetworkAddress> addresses, bool bNamedByHost = false,
                    bool bBroadcast = false)
{
    return {strHost, std::move(addresses), bNamedByHost, bBroadcast};
}

// This computer: the loopback addresses, and 198.51.100.2 on its network, whose broadcast address
// is 198.51.100.255.
const platform::CInterfaceAddresses kThisComputer({Address("198.51.100.2", 0)}, {Address("198.51.100.255", 0)});

const std::vector<BrowseTarget> kComputers = {
    Target(L"sqlhost", {Address("198.51.100.10", 1434)}, true),
    Target(L"198.51.100.20", {Address("198.51.100.20", 1500)}),
    Target(L"sqlcluster.corp.example", {Address("198.51.100.30", 1434), Address("2001:db8::30", 1434)}, true),
    Target(L"127.0.0.1", {Address("127.0.0.1", 1600)}),
};

struct Case
{
    const char* szWhat;
    NetworkAddress source;
    std::optional<std::vector<std::wstring>> names; // nothing: an answer that could not be read
    std::optional<std::size_t> target;
};

void Check(const std::vector<BrowseTarget>& targets, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        std::optional<ResolutionAnswer> answer;
        if (c.names)
            answer = ResolutionAnswer{*c.names, {}};
        EXPECT_EQ(TargetOfAnswer(targets, kThisComputer, c.source, answer ? &*answer : nullptr), c.target)
            << c.szWhat << " from " << WideToNarrow(c.source.Text());
    }
}

} // namespace

TEST(AnswerSources, AnAnswerBelongsToTheComputerAskedWhicheverOfItsAddressesItComesFrom)
{
    using Names = std::vector<std::wstring>;
    Check(kComputers,
          {
              {"the address asked", Address("198.51.100.10", 1434), Names{L"SQLHOST"}, 0},
              {"the address asked, unreadable", Address("198.51.100.20", 1500), std::nullopt, 1},
              {"the address asked, naming another host", Address("198.51.100.20", 1500), Names{L"ELSEWHERE"}, 1},
              {"another address the name has", Address("2001:db8::30", 1434), Names{L"X"}, 2},
              {"a cluster node naming the cluster", Address("198.51.100.31", 1434),
               Names{L"SQLCLUSTER\\INST", L"sqlcluster"}, 2},
              {"a cluster node naming it in full", Address("198.51.100.31", 1434),
               Names{L"sqlcluster.corp.example\\INST"}, 2},
              {"a computer naming the first host asked", Address("198.51.100.31", 1434), Names{L"SqlHost"}, 0},
              {"another address of this computer", Address("127.0.0.2", 1600), Names{L"X"}, 3},
              {"this computer's network address", Address("198.51.100.2", 1600), std::nullopt, 3},
              {"this computer over IPv6", Address("::1", 1600), Names{L"X"}, 3},
              // Strangers.
              {"a node naming the cluster and another host", Address("198.51.100.31", 1434),
               Names{L"SQLCLUSTER\\A", L"OTHER\\B"}, std::nullopt},
              {"a node naming nothing", Address("198.51.100.31", 1434), Names{}, std::nullopt},
              {"a node whose answer cannot be read", Address("198.51.100.31", 1434), std::nullopt, std::nullopt},
              {"a name's label that is no label", Address("198.51.100.31", 1434), Names{L"SQLCLUS"}, std::nullopt},
              {"a node naming the cluster from another port", Address("198.51.100.31", 1435), Names{L"SQLCLUSTER"},
               std::nullopt},
              {"the address asked, another port", Address("198.51.100.20", 1501), Names{L"X"}, std::nullopt},
              {"this computer, another port", Address("127.0.0.2", 1601), Names{L"X"}, std::nullopt},
              {"a computer naming a target named by address", Address("198.51.100.99", 1500), Names{L"198.51.100.20"},
               std::nullopt},
          });
}

TEST(AnswerSources, AnyComputerAnswersABroadcastButTheComputersAskedKeepTheirOwn)
{
    std::vector<BrowseTarget> targets = kComputers;
    targets.push_back(Target(L"198.51.100.255", {Address("198.51.100.255", 1434)}, false, true));
    using Names = std::vector<std::wstring>;
    Check(targets, {
                       {"a computer asked", Address("198.51.100.10", 1434), Names{L"SQLHOST"}, 0},
                       {"a cluster node naming the cluster", Address("198.51.100.31", 1434), Names{L"SQLCLUSTER"}, 2},
                       {"any other computer", Address("198.51.100.31", 1434), Names{L"OTHER"}, 4},
                       {"any other computer, unreadable", Address("198.51.100.77", 1434), std::nullopt, 4},
                       {"a computer asked by address, from the broadcast's port", Address("198.51.100.20", 1434),
                        Names{L"X"}, 4},
                       {"another port", Address("198.51.100.31", 1435), Names{L"OTHER"}, std::nullopt},
                   });
}
