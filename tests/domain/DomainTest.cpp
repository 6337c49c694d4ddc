#include "DomainTest.h"

#include <algorithm>
#include <cctype>

namespace domainlab {

void CBrowsedServers::SetUp()
{
    if (!WhyNoLab().empty())
        return;
    const std::pair<const Host*, std::vector<std::string>> servers[] = {
        {&kAlphaDc, {"ALPHADC\\SALES"}},
        {&kBetaDc, {"BETADC"}},
        {&kGammaDc, {"GAMMADC"}},
        {&kAlphaMember, {"AMEMBER\\LOCAL"}},
        {&kBetaMember, {"BMEMBER\\SHORT", "bmember.beta.test\\FULL"}},
    };
    for (const auto& [pHost, names] : servers)
        m_responders.push_back(std::make_unique<CResponder>(*pHost, names));
}

void CBrowsedServers::TearDown()
{
    m_responders.clear();
}

testsupport::ProgramResult Keepctl(const Host& host, const std::vector<std::string>& arguments,
                                   std::map<std::string, std::string> environment)
{
    environment.try_emplace("VESTREL_BROWSE_TARGETS", EveryHostAsBrowseTarget());
    std::vector<std::string> command{KEEPCTL_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunInHost(host, command, environment);
}

testsupport::ProgramResult Realmscan(const Host& host, std::map<std::string, std::string> environment)
{
    return RunInHost(host, {REALMSCAN_PATH}, environment);
}

void ExpectValidationTellsThisComputerFromOthers(const Host& host, const Host& other, DnsNames dnsNames)
{
    std::string strLowerCase = host.strComputer;
    std::transform(strLowerCase.begin(), strLowerCase.end(), strLowerCase.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string strDnsName = host.strName + "." + host.strDnsDomain;
    const std::string strOtherDnsName = other.strName + "." + other.strDnsDomain;
    std::vector<std::tuple<std::string, const char*, bool>> cases = {
        {host.strComputer, "2", true},
        {strLowerCase, "2", true},
        {"(local)", "2", true},
        {host.strComputer + "\\INST", "2", true},
        {host.strComputer, "1", false},
        {host.strComputer, "4", false},
        {host.strComputer, "3", true},
        {host.strComputer, "5", false},
        {other.strComputer, "1", true},
        {other.strComputer, "2", false},
        {other.strComputer, "3", true},
        {other.strComputer, "6", false},
        {strOtherDnsName, "1", true},
        {kBetaDc.strComputer, "1", true},
        {host.strComputer + ";" + other.strComputer, "2", false},
        {host.strComputer + ";(local)", "2", true},
        {other.strComputer, "7", true},
    };
    if (dnsNames == DnsNames::Known) {
        cases.insert(cases.end(),
                     {{strDnsName, "2", true}, {strDnsName + "\\INST", "2", true}, {strDnsName, "1", false}});
    }
    for (const auto& [strServer, szType, bAccepted] : cases) {
        SCOPED_TRACE(strServer + " -t " + szType);
        const auto result = Keepctl(host, {"VALIDATESQLSERVERNAME", "-s", strServer, "-t", szType});
        EXPECT_EQ(result.strStdout, bAccepted ? "VALIDATESQLSERVERNAME done!\n" : "Failed with code 0x80070057.\n");
        EXPECT_EQ(result.strStderr, "");
        EXPECT_EQ(result.iExitStatus, bAccepted ? 0 : 87);
    }
}

void TicketOfTheComputer(const Host& host)
{
    // A controller keeps its keys beside its database, a member in the system keytab.
    const bool bController = host.strName.ends_with("dc");
    Shell(host, std::string("kinit -k ") + (bController ? "-t /var/lib/samba/private/secrets.keytab " : "") + "'" +
                    host.strComputer + "$'");
}

} // namespace domainlab

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(std::make_unique<domainlab::CBrowsedServers>().release());
    return RUN_ALL_TESTS();
}
