#pragma once
// Winbind's answers in the terms of the Windows calls: its failures as Win32 codes, its list of
// domains as the trusts DsEnumerateDomainTrustsW gives on a member of the primary domain.

#include "SambaLibraries.h"
#include "platform/netapi/NetApi.h"

#include <span>
#include <vector>

namespace platform::netapi {

DWORD Win32ErrorFromWinbind(wbcErr status);

// Winbind names the domain this computer (or domain controller) belongs to by its own trust
// type rather than by a flag.
bool IsPrimaryDomainTrustType(std::uint32_t uTrustType);

// The trusts of winbind's list that have any of the flags asked for, in the list's order.
// Winbind's own entries (the BUILTIN and local account domains) are no trusts and are left out.
// uPrimaryDomainFlags are the domain flags winbind gives the primary domain itself (its list
// leaves them out).
std::vector<DS_DOMAIN_TRUSTSW> TrustsFromWinbind(std::span<const WinbindDomainInfo> domains,
                                                 std::uint32_t uPrimaryDomainFlags, ULONG ulFlagsAsked);

} // namespace platform::netapi
