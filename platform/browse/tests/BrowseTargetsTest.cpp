// Where a browse asks: the list of targets, as an administrator writes it, and the settings that
// name it.

#include "BrowseTargets.h"
#include "HostResolver.h"

#include "common/StringUtils.h"

#include <gtest/gtest.h>

#include <map>

using namespace platform::browse;
using platform::NetworkAddress;

namespace {

// Host names with the addresses a test gives them; every name asked is kept.
class CTableResolver : public IHostResolver
{
public:
    explicit CTableResolver(std::map<std::string, std::vector<std::string>> table) : m_table(std::move(table)) {}

    std::vector<NetworkAddress> Resolve(const std::string& strHost, std::uint16_t port) override
    {
        asked.push_back(strHost);
        std::vector<NetworkAddress> addresses;
        for (const std::string& strAddress : m_table[strHost])
            addresses.push_back(*NetworkAddress::FromLiteral(strAddress, port));
        return addresses;
    }

    std::vector<std::string> asked;

private:
    std::map<std::string, std::vector<std::string>> m_table;
};

struct TargetSeen
{
    std::wstring strHost;
    std::vector<std::wstring> addresses;
    bool bNamedByHost = false;
    bool bBroadcast = false;
    bool operator==(const TargetSeen&) const = default;
};

void PrintTo(const TargetSeen& target, std::ostream* pStream)
{
    *pStream << WideToNarrow(target.strHost) << " {";
    for (const std::wstring& strAddress : target.addresses)
        *pStream << WideToNarrow(strAddress) << " ";
    *pStream << "}" << (target.bNamedByHost ? " named" : "") << (target.bBroadcast ? " broadcast" : "");
}

std::vector<TargetSeen> Seen(const std::vector<BrowseTarget>& targets)
{
    std::vector<TargetSeen> seen;
    for (const BrowseTarget& target : targets) {
        TargetSeen& one = seen.emplace_back();
        one.strHost = target.strHost;
        for (const NetworkAddress& address : target.addresses)
            one.addresses.push_back(address.Text());
        one.bNamedByHost = target.bNamedByHost;
        one.bBroadcast = target.bBroadcast;
    }
    return seen;
}

} // namespace

TEST(BrowseTargets, AreAddressesOrHostNamesWithTheirPorts)
{
    const auto pResolver = std::make_shared<CTableResolver>(std::map<std::string, std::vector<std::string>>{
        {"sqlhost", {"192.0.2.10"}},
        {"sqlcluster.corp.example", {"192.0.2.20", "2001:db8::20", "192.0.2.21"}},
    });
    const CScopedHostResolver resolver(pResolver);
    std::vector<std::wstring> notes;
    const auto targets =
        ResolveTargetList(L" 127.0.0.1 ,127.0.0.1:2345,,[::1]:1500,[::1],::1,fe80::1%lo,"
                          L"sqlhost:1600,sqlcluster.corp.example,unknown,255.255.255.255:1500,192.0.2.255,"
                          L"127.0.0.1:0,127.0.0.1:70000,:1434,127.0.0.1:x,127.0.0.1:,[::1,[::1]x,"
                          L"[]:1434,[sqlhost]",
                          platform::CInterfaceAddresses({}, {*NetworkAddress::FromLiteral("192.0.2.255", 0)}), notes);
    EXPECT_EQ(Seen(targets),
              (std::vector<TargetSeen>{
                  {L"127.0.0.1", {L"127.0.0.1:1434"}},
                  {L"127.0.0.1", {L"127.0.0.1:2345"}},
                  {L"::1", {L"[::1]:1500"}},
                  {L"::1", {L"[::1]:1434"}},
                  {L"::1", {L"[::1]:1434"}},
                  {L"fe80::1%lo", {L"[fe80::1%lo]:1434"}},
                  {L"sqlhost", {L"192.0.2.10:1600"}, true},
                  {L"sqlcluster.corp.example", {L"192.0.2.20:1434", L"[2001:db8::20]:1434", L"192.0.2.21:1434"}, true},
                  {L"255.255.255.255", {L"255.255.255.255:1500"}, false, true},
                  {L"192.0.2.255", {L"192.0.2.255:1434"}, false, true},
              }));
    // Address literals are never looked up.
    EXPECT_EQ(pResolver->asked, (std::vector<std::string>{"sqlhost", "sqlcluster.corp.example", "unknown"}));
    EXPECT_EQ(notes, (std::vector<std::wstring>{
                         L"The browse target unknown names no computer that can be found.",
                         L"The browse target 127.0.0.1:0 names no address and port.",
                         L"The browse target 127.0.0.1:70000 names no address and port.",
                         L"The browse target :1434 names no address and port.",
                         L"The browse target 127.0.0.1:x names no address and port.",
                         L"The browse target 127.0.0.1: names no address and port.",
                         L"The browse target [::1 names no address and port.",
                         L"The browse target [::1]x names no address and port.",
                         L"The browse target []:1434 names no address and port.",
                         L"The browse target [sqlhost] names no address and port.",
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
