#include "DomainLab.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

namespace domainlab {

const Host kAlphaDc{"alphadc", "10.99.0.11", "ALPHADC", "ALPHA", "alpha.test"};
const Host kBetaDc{"betadc", "10.99.0.12", "BETADC", "BETA", "beta.test"};
const Host kGammaDc{"gammadc", "10.99.0.13", "GAMMADC", "GAMMA", "gamma.test"};
const Host kAlphaMember{"amember", "10.99.0.21", "AMEMBER", "ALPHA", "alpha.test"};
const Host kBetaMember{"bmember", "10.99.0.22", "BMEMBER", "BETA", "beta.test"};

namespace {

std::string Script()
{
    const char* szScript = std::getenv("DOMAINLAB_SCRIPT");
    return szScript ? szScript : "";
}

std::string Described(const std::vector<std::string>& words)
{
    std::string strText;
    for (const std::string& strWord : words)
        strText += (strText.empty() ? "" : " ") + strWord;
    return strText;
}

std::string Failure(const std::string& strWhat, const testsupport::ProgramResult& result)
{
    return strWhat + " ended with " + std::to_string(result.iExitStatus) + "\nstandard output:\n" + result.strStdout +
           "standard error:\n" + result.strStderr;
}

} // namespace

std::string WhyNoLab()
{
    if (Script().empty() || !std::getenv("DOMAINLAB_DIR"))
        return "no domain lab: run the domain tests through tests/domain/domainlab.sh test";
    return {};
}

testsupport::ProgramResult RunInHost(const Host& host, const std::vector<std::string>& command,
                                     const std::map<std::string, std::string>& environment)
{
    // The hang guard must stop the program itself: stopping the harness's nsenter would leave the
    // program running inside the host's namespaces, holding its output open. timeout stops it
    // there, and the guard outside waits longer.
    std::vector<std::string> arguments{
        "exec", host.strName, "timeout", "--kill-after=5", std::to_string(testsupport::kProgramHangGuard.count()),
        "env"};
    for (const auto& [strName, strValue] : environment)
        arguments.push_back(strName + "=" + strValue);
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testsupport::CRunningProgram(Script(), arguments, {}, testsupport::ErrorOutput::Pipe,
                                        testsupport::StandardInput::Terminal)
        .Wait(2 * testsupport::kProgramHangGuard);
}

std::string Shell(const Host& host, const std::string& strCommand)
{
    const testsupport::ProgramResult result = RunInHost(host, {"bash", "-c", strCommand});
    if (result.iExitStatus != 0)
        ADD_FAILURE() << Failure("[" + host.strName + "]# " + strCommand, result);
    return result.strStdout;
}

void Harness(const std::vector<std::string>& arguments)
{
    const testsupport::ProgramResult result = testsupport::RunProgram(Script(), arguments);
    if (result.iExitStatus != 0)
        ADD_FAILURE() << Failure("domainlab.sh " + Described(arguments), result);
}

namespace {

std::vector<std::string> ResponderCommand(const Host& host, const std::vector<std::string>& servers)
{
    // Browses come from the tests only: ten minutes without one ends a responder left behind.
    std::vector<std::string> command{"exec", host.strName, RESPONDER_PATH, "-a", host.strAddress,
                                     "-p",   "1434",       "-i",           "600"};
    command.insert(command.end(), servers.begin(), servers.end());
    return command;
}

} // namespace

CResponder::CResponder(const Host& host, const std::vector<std::string>& servers)
    : m_program(Script(), ResponderCommand(host, servers))
{
    const auto line = m_program.ReadLine(testsupport::kProgramHangGuard);
    if (line != "listening on " + host.strAddress + ":1434")
        ADD_FAILURE() << "the responder in " << host.strName << " did not start: " << line.value_or("(nothing)");
}

CResponder::~CResponder()
{
    // The harness's nsenter waits for its one child, the responder inside the host's namespaces:
    // that child is the one to stop.
    const std::string strPid = std::to_string(m_program.Pid());
    std::ifstream children("/proc/" + strPid + "/task/" + strPid + "/children");
    pid_t child = 0;
    while (children >> child)
        ::kill(child, SIGTERM);
    m_program.Wait();
}

std::string EveryHostAsBrowseTarget()
{
    std::string strTargets;
    for (const Host* pHost : {&kAlphaDc, &kBetaDc, &kGammaDc, &kAlphaMember, &kBetaMember})
        strTargets += (strTargets.empty() ? "" : ",") + pHost->strAddress + ":1434";
    return strTargets;
}

} // namespace domainlab
