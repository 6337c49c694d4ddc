#pragma once
// What the domain tests share: they skip, saying why, without a lab; the SQL Server Browser
// stand-ins answer at every host's address for the whole run; keepctl's and realmscan's runs.

#include "DomainLab.h"

#include <gtest/gtest.h>

namespace domainlab {

class DomainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string strWhy = WhyNoLab(); !strWhy.empty())
            GTEST_SKIP() << strWhy;
    }
};

// The servers the stand-ins answer for, by host: a controller of each domain, this member's own
// instance, and a server of the trusting forest under its short and its DNS name.
//   alphadc ALPHADC\SALES   betadc BETADC   gammadc GAMMADC   amember AMEMBER\LOCAL
//   bmember BMEMBER\SHORT, bmember.beta.test\FULL
class CBrowsedServers : public ::testing::Environment
{
public:
    void SetUp() override;
    void TearDown() override;

private:
    std::vector<std::unique_ptr<CResponder>> m_responders;
};

// A run of keepctl inside the host, browsing every host of the lab.
testsupport::ProgramResult Keepctl(const Host& host, const std::vector<std::string>& arguments,
                                   std::map<std::string, std::string> environment = {});
testsupport::ProgramResult Realmscan(const Host& host, std::map<std::string, std::string> environment = {});

// VALIDATESQLSERVERNAME inside the host, for its own names and another host's, each -t. A
// computer knows its DNS name in its domain from winbind: not while winbind is stopped.
enum class DnsNames { Known, Unknown };
void ExpectValidationTellsThisComputerFromOthers(const Host& host, const Host& other,
                                                 DnsNames dnsNames = DnsNames::Known);

// The computer's own Kerberos ticket in the default cache of the host's root: the caller's ticket
// of the runs that follow.
void TicketOfTheComputer(const Host& host);

} // namespace domainlab
