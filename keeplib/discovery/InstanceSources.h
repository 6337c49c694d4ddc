#pragma once
// Where a browse finds SQL Server instances: this computer's registry, the cluster it belongs to,
// and the network. Each adds the server names it finds; a failure that ends the browse has been
// traced when it is returned.

#include "ServerNameSet.h"
#include "common/HResult.h"

#include <string>

namespace Keeplibs {

HRESULT AddLocalComputerInstances(const std::wstring& bstrLocalName, CServerNameSet& names);
HRESULT AddLocalClusterInstances(CServerNameSet& names);
// Remote servers are those on neither this computer nor its cluster; in a domain, only those
// whose computer belongs to the trusted domain (the given one, or this computer's).
HRESULT AddRemoteInstances(const wchar_t* pstrUserDomain, CServerNameSet& names);

} // namespace Keeplibs
