#pragma once
// The cluster object of Pacemaker's cluster.

#include "LocalCib.h"
#include "platform/cluster/Cluster.h"

namespace platform::cluster {

// A cluster object that reads the local CIB with these tools each time it opens. Without
// cibadmin there is no cluster software: REGDB_E_CLASSNOTREG.
//
// Open with the empty name, or the cluster's own (its cluster-name property, without regard to
// case), succeeds when this computer is one of the cluster's nodes; a Pacemaker that does not run
// here, or a CIB without this computer, is no cluster to open. A CIB that Pacemaker answers but
// that cannot be read opens too, and each of the cluster's collections answers why it cannot be
// read, so that its walk fails as a failing call does.
HRESULT CreatePacemakerCluster(const PacemakerTools& tools, std::shared_ptr<ISCluster>& pCluster);

} // namespace platform::cluster
