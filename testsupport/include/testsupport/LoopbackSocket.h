#pragma once
// A TCP socket bound to a port of 127.0.0.1 that the kernel chose: a server that accepts and never
// answers once it listens, or, once it is gone, a port where nothing listens.

#include "common/HandleOwners.h"

#include <chrono>
#include <string>

namespace testsupport {

class CLoopbackSocket
{
public:
    // Throws std::runtime_error when no port can be had.
    CLoopbackSocket();

    int Port() const { return m_iPort; }
    // "127.0.0.1,<port>", as a data source names it.
    std::string Server() const { return "127.0.0.1," + std::to_string(m_iPort); }

    void Listen();
    // One connection, waiting at most the given time; an empty handle when none came.
    CAutoFileHandle Accept(std::chrono::milliseconds timeout);

private:
    CAutoFileHandle m_socket;
    int m_iPort = 0;
};

} // namespace testsupport
