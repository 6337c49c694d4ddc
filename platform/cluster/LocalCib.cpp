#include "LocalCib.h"

#include "common/StringUtils.h"
#include "platform/Win32Error.h"

#include <algorithm>
#include <system_error>

#include <sys/utsname.h>

namespace platform::cluster {
namespace {

// Pacemaker's exit codes (crm_error -X): the same in every release since 2.0.
constexpr int kExitInsufficientPrivileges = 4;
constexpr int kExitInvalidConfiguration = 78;
constexpr int kExitNotConnected = 102;
constexpr int kExitNoSuchObject = 105;

LocalCib Unreadable(HRESULT hr, std::string strWhy)
{
    LocalCib local;
    local.state = LocalCib::State::Unreadable;
    local.hrUnreadable = hr;
    local.strWhy = std::move(strWhy);
    return local;
}

// The first line the tool wrote on its standard error after a colon, safe to write on a line of
// one's own; nothing when it wrote none.
std::string FirstErrorLine(const ToolRun& run)
{
    const std::string_view line = std::string_view(run.strErrors).substr(0, run.strErrors.find('\n'));
    return line.empty() ? std::string() : ": " + EscapeControlCharacters(line);
}

LocalCib UnreadableAfter(const ToolRun& run)
{
    switch (run.ending) {
    case ToolRun::Ending::Exited: {
        std::string strWhy = "cibadmin exited with " + std::to_string(run.iCode) + FirstErrorLine(run);
        switch (run.iCode) {
        case kExitInsufficientPrivileges:
            return Unreadable(E_ACCESSDENIED, std::move(strWhy));
        case kExitInvalidConfiguration:
            return Unreadable(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), std::move(strWhy));
        case kExitNoSuchObject:
            return Unreadable(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), std::move(strWhy));
        default:
            return Unreadable(E_FAIL, std::move(strWhy));
        }
    }
    case ToolRun::Ending::Signalled:
        return Unreadable(E_FAIL, "cibadmin was ended by signal " + std::to_string(run.iCode));
    case ToolRun::Ending::TimedOut:
        return Unreadable(HRESULT_FROM_WIN32(ERROR_TIMEOUT), "cibadmin did not answer in time");
    case ToolRun::Ending::TooMuchOutput:
        return Unreadable(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "cibadmin's answer is too long");
    case ToolRun::Ending::NotStarted:
        break;
    }
    return Unreadable(E_FAIL, "cibadmin could not be started: " + std::generic_category().message(run.iCode));
}

// The name Pacemaker knows this computer by: the controller's, else the host name, as Pacemaker
// itself falls back to it.
std::string LocalNodeName(const PacemakerTools& tools)
{
    const ToolRun run = RunTool(tools.crmNode, {"-n"}, tools.limits);
    if (run.ending == ToolRun::Ending::Exited && run.iCode == 0) {
        std::string strName = run.strOutput.substr(0, run.strOutput.find('\n'));
        if (!strName.empty())
            return strName;
    }
    utsname host{};
    ::uname(&host);
    return host.nodename;
}

// Node names compare as Pacemaker compares them: ASCII letters without regard to case.
bool SameNodeName(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

LocalCib ReadLocalCib(const PacemakerTools& tools)
{
    const ToolRun run = RunTool(tools.cibadmin, {"--query", "--local", "--scope", "configuration"}, tools.limits);
    if (run.ending == ToolRun::Ending::Exited && run.iCode == kExitNotConnected)
        return {}; // NotRunning
    if (run.ending != ToolRun::Ending::Exited || run.iCode != 0)
        return UnreadableAfter(run);
    CibParse parse = ParseCib(run.strOutput);
    if (!parse.cib)
        return Unreadable(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "cibadmin's answer: " + parse.strError);

    LocalCib local;
    local.cib = std::move(*parse.cib);
    const std::string strLocalNode = LocalNodeName(tools);
    const bool bNode = std::any_of(local.cib.nodes.begin(), local.cib.nodes.end(),
                                   [&](const std::string& strNode) { return SameNodeName(strNode, strLocalNode); });
    local.state = bNode ? LocalCib::State::Node : LocalCib::State::NotANode;
    return local;
}

} // namespace platform::cluster
