#pragma once
// The TCP socket a driver opened for a connection. ODBC does not hand it out, so it is found as
// the one stream socket of the process that a connection attempt added, and held through a
// descriptor of our own: shutting it down from another thread breaks off whatever the driver
// waits for on it, whatever the driver has done with its own descriptor meanwhile.

#include "common/HandleOwners.h"

#include <optional>
#include <set>
#include <sys/types.h>

namespace platform::ado::odbc {

class CDriverSocket
{
public:
    // The IPv4 and IPv6 stream sockets the process holds, by their inodes.
    using Snapshot = std::set<ino_t>;
    static Snapshot TakeSnapshot();

    // The one stream socket that appeared since the snapshot. Nothing when there is none, or more
    // than one: another thread of the process connected meanwhile, and which one is the driver's
    // cannot be told.
    static std::optional<CDriverSocket> OpenedSince(const Snapshot& before);

    // Shuts the socket down both ways: the driver's reads end and its writes fail at once.
    void Sever() const noexcept;

private:
    explicit CDriverSocket(CAutoFileHandle descriptor) : m_descriptor(std::move(descriptor)) {}
    CAutoFileHandle m_descriptor;
};

} // namespace platform::ado::odbc
