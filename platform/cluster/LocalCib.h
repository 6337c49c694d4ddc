#pragma once
// What this computer's Pacemaker tells of the cluster it belongs to: the configuration of the
// cluster information base (CIB), from `cibadmin --query` (the file that CIB_file names when it is
// set), and whether this computer is one of its nodes.

#include "Cib.h"
#include "ToolRun.h"
#include "common/HResult.h"

#include <filesystem>
#include <string>

namespace platform::cluster {

// Pacemaker's command-line tools, and how long and how much each may answer.
struct PacemakerTools
{
    std::filesystem::path cibadmin = "/usr/sbin/cibadmin";
    std::filesystem::path crmNode = "/usr/sbin/crm_node";
    // cibadmin waits 30 s for the cluster itself; a large CIB prints a few MB.
    ToolLimits limits{std::chrono::seconds(35), 64 * 1024 * 1024};
};

struct LocalCib
{
    enum class State {
        NotRunning, // Pacemaker is installed but does not run here
        Unreadable, // it answered, but not with a CIB: hrUnreadable and strWhy say why
        NotANode,   // the CIB does not list this computer
        Node,
    };
    State state = State::NotRunning;
    HRESULT hrUnreadable = S_OK;
    std::string strWhy;
    Cib cib;
};

LocalCib ReadLocalCib(const PacemakerTools& tools);

} // namespace platform::cluster
