#pragma once
// Whether this computer is a member of a domain rather than of a workgroup.

namespace UTIL::WG {

// True when the primary domain has a SID, as a domain member's has. Throws _com_error with the
// failure of asking.
bool IsMachineInDomain();

} // namespace UTIL::WG
