#pragma once
// The domain lab the domain tests run in (domainlab.sh beside this file): commands run inside its
// hosts, their member servers' settings, and SQL Server Browser stand-ins at the hosts' addresses.
// The script that runs the tests (domainlab.sh test) says where the lab is.

#include "testsupport/RunProgram.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace domainlab {

// A host of the lab: its name, address, computer name, and its domain's NetBIOS and DNS names.
struct Host
{
    std::string strName;
    std::string strAddress;
    std::string strComputer;
    std::string strDomain;
    std::string strDnsDomain;
};

extern const Host kAlphaDc;
extern const Host kBetaDc;
extern const Host kGammaDc;
extern const Host kAlphaMember;
extern const Host kBetaMember;

// Why the tests cannot run (no lab named by the environment), or nothing.
std::string WhyNoLab();

// Runs a program inside a host, in a clean environment with only the given variables added and
// a terminal of its own on its standard input, on which nobody types. A program still running
// after the hang guard is stopped: its exit status is then 124.
testsupport::ProgramResult RunInHost(const Host& host, const std::vector<std::string>& command,
                                     const std::map<std::string, std::string>& environment = {});

// Runs a shell command inside a host as the tests' own preparation, and answers its standard
// output; a command that fails fails the test.
std::string Shell(const Host& host, const std::string& strCommand);

// Runs the harness itself ("member-conf amember scan", "daemons amember stop"); its failure fails
// the test.
void Harness(const std::vector<std::string>& arguments);

// A SQL Server Browser stand-in inside a host, on port 1434 of the host's address, answering for
// the server names given; stopped when the object goes.
class CResponder
{
public:
    CResponder(const Host& host, const std::vector<std::string>& servers);
    ~CResponder();
    CResponder(const CResponder&) = delete;
    CResponder& operator=(const CResponder&) = delete;

private:
    testsupport::CRunningProgram m_program;
};

// The browse targets of every host of the lab: "10.99.0.11:1434,...".
std::string EveryHostAsBrowseTarget();

} // namespace domainlab
