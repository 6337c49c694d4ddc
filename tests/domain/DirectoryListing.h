#pragma once
// What realmscan must list for a domain, worked out from the domain controller's own database
// (read there with ldbsearch, without the network), and what it did list: both as the blocks of
// lines of the trusts, without their "Index:" lines, in sorted order.

#include "DomainLab.h"

#include <string>
#include <vector>

namespace domainlab {

// The blocks for the trusts the controller's database holds: the domain itself (from its
// partition's cross-reference and its domain object) and each trusted-domain object.
std::vector<std::string> ExpectedTrustBlocks(const Host& controller);

// The blocks realmscan wrote between "Starting..." and "...done.", with their indexes checked to
// run from 0 in order; a listing of another shape fails the test.
std::vector<std::string> ListedTrustBlocks(const std::string& strListing);

} // namespace domainlab
