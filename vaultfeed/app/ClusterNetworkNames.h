#pragma once
// The product's place in a failover cluster: whether this computer is a cluster node, the
// product's cluster resources, and the network name each runs under.

#include <optional>
#include <string>
#include <vector>

namespace Vaultfeed {

// The type of the product's cluster resources, compared exactly (case and version included), and
// the private property of such a resource that holds its network name. The cluster stand-in gives
// this type to the primitives of the product's Pacemaker agent, and their NetworkName attribute.
inline constexpr const wchar_t* kProductResourceType = L"Velmora service 4.1.0.0";
inline constexpr const wchar_t* kNetworkNameProperty = L"NetworkName";

// True when the local cluster can be opened. Any failure, including none being installed, is false.
bool IsClusterNode();

struct ProductResources
{
    // The names of the product's resources, in the cluster's order.
    std::vector<std::wstring> names;
    // The first resource's name when its network name could be read; empty otherwise.
    std::wstring strPreselected;
};

// The product's resources in the local cluster. A failure ends the search and keeps what was found
// so far: a cluster that cannot be read simply offers fewer resources.
ProductResources FindProductResources();

// The network name of the local cluster's resource of that name; nothing when it cannot be read or
// is not a string.
std::optional<std::wstring> ReadNetworkName(const std::wstring& strResourceName);

} // namespace Vaultfeed
