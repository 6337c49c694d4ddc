#pragma once
// Whose answer a datagram is. Only the computers asked may answer, each from the port it was asked
// at; a computer has several addresses and may answer from any of them (a clustered server answers
// from the address of the node it runs on), so an answer belongs to a target when it comes
//
//   - from one of the addresses the target was asked at;
//   - from an address of this computer, when the target is this computer;
//   - from anywhere, when the target was named by host name and the answer names that host, and
//     no other, for every instance it lists;
//   - from anywhere, for a broadcast, which any computer of its network answers.

#include "BrowseTargets.h"
#include "platform/InterfaceAddresses.h"
#include "platform/NetworkAddress.h"
#include "platform/browse/ResolutionProtocol.h"

#include <optional>
#include <vector>

namespace platform::browse {

// The index of the target the answer belongs to, the first such in the list; nothing for a
// computer that was not asked. An answer that could not be read (no pAnswer) names no host.
std::optional<std::size_t> TargetOfAnswer(const std::vector<BrowseTarget>& targets,
                                          const CInterfaceAddresses& interfaces, const NetworkAddress& source,
                                          const ResolutionAnswer* pAnswer);

} // namespace platform::browse
