#pragma once
// What this system makes of a Pacemaker cluster: its CIB's groups, primitives and nodes as the
// cluster objects the tools walk.

#include "Cib.h"
#include "platform/cluster/ClusterSnapshot.h"

namespace platform::cluster {

// The resource types the tools look for, and the agents that stand for them:
// - a SQL Server failover cluster instance is a primitive of ocf:mssql:fci, whose id is the
//   virtual server name its clients use. It answers as a "SQL Server" resource of the default
//   instance (VirtualServerName the id, InstanceName MSSQLSERVER), and beside it as the "Network
//   Name" resource "SQL Network Name (id)" (Name the id): its name is a network name of the
//   cluster;
// - the product's clustered service is a primitive of the product's agent ocf:vestrel:velmora and
//   answers as a resource of the product's type, "Velmora service 4.1.0.0";
// - any other primitive answers its agent as its type ("ocf:heartbeat:IPaddr2", "systemd:cron").
// A resource is named by its primitive's id; its private properties are its instance
// attributes, after those above.
ClusterContents ContentsOfCib(const Cib& cib);

} // namespace platform::cluster
