#pragma once
// The trusts of a domain as its directory holds them, in the form DsEnumerateDomainTrustsW gives
// them: the domains of its forest, from the forest's partitions, and the domains it trusts or is
// trusted by, from its trusted-domain objects.

#include "DirectorySession.h"
#include "platform/netapi/NetApi.h"

#include <vector>

namespace platform::netapi {

// What the searches of one controller's directory found.
struct DomainDirectory
{
    std::string strDomainNamingContext;         // the controller's own domain ("DC=corp,DC=example")
    std::vector<DirectoryEntry> forestDomains;  // cross-references: nETBIOSName, dnsRoot, nCName, trustParent
    std::vector<DirectoryEntry> domainObject;   // the own domain's object, if it was found: nTMixedDomain
    std::vector<DirectoryEntry> trustedDomains; // flatName, trustPartner, trustDirection, trustType, trustAttributes
};

// Makes the searches. Throws CDirectoryError.
DomainDirectory ReadDomainDirectory(CDirectorySession& session);

// The trusts that have any of the flags asked for: the forest's domains first, then the other
// trusted domains, each group in the order of their DNS names (without regard to case), so that
// the answer does not depend on the order the directory returned. A domain's ParentIndex is its
// parent's position in this answer (0 for a root, or a parent left out). Throws CDirectoryError
// when the directory does not describe its own domain.
std::vector<DS_DOMAIN_TRUSTSW> TrustsFromDirectory(const DomainDirectory& directory, ULONG ulFlagsAsked);

} // namespace platform::netapi
