#pragma once
// Which server names stand for this computer, for the failover cluster it belongs to, or for
// another computer; and the domain against which remote servers are checked.

#include "common/HResult.h"
#include "platform/InterfaceAddresses.h"
#include "platform/netapi/NetApi.h"

#include <array>
#include <string>
#include <vector>

namespace Keeplibs {

// The one rule that ties a server name to a computer or cluster name: equal without regard to
// case, or the name followed by a backslash and an instance ("SQLBOX" matches "sqlbox" and
// "SQLBOX\INST1", neither "SQLBOX2" nor "SQL").
bool MatchServerName(const wchar_t* wszName, const wchar_t* wszServerName);

// A snapshot of this computer's names, taken by Init.
class CLocalComputerNames
{
public:
    CLocalComputerNames() = default;

    // This computer's NetBIOS name, host name, addresses and domain, and the network and node
    // names of its cluster. A computer without cluster software or outside a cluster is no
    // failure; a cluster call that fails is traced and its code returned, with the names found
    // so far kept.
    HRESULT Init();

    // Whether the server is on this computer: its computer part is "(local)", "." or "localhost"
    // (which every computer calls itself), this computer's NetBIOS name, its host name or that
    // name's first label, its DNS name in its domain, or an address literal of this computer (a
    // loopback address, or one of its interfaces'). Nothing is looked up: a name from the network
    // is never resolved.
    bool IsLocalComputer(const wchar_t* wszServerName) const;
    bool IsLocalCluster(const wchar_t* wszServerName) const;
    bool IsClusterNode(const wchar_t* wszServerName) const;

    // The domain remote servers must belong to: the given one, or this computer's. Throws
    // _com_error(E_FAIL) when neither is known.
    void GetTrustedDomain(const wchar_t* wszDomain, std::wstring& wstrTrustedDomainRef) const;

private:
    HRESULT ReadClusterNames();

    std::vector<std::wstring> m_lstClusterNetworkNames;
    std::vector<std::wstring> m_lstClusterNodeNames;
    std::array<wchar_t, platform::netapi::MAX_COMPUTERNAME_LENGTH + 1> m_szComputerName{};
    std::vector<std::wstring> m_lstHostNames;
    platform::CInterfaceAddresses m_interfaces{{}, {}};
    std::wstring m_bstrDomainName;
};

} // namespace Keeplibs
