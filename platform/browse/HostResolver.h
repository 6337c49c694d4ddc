#pragma once
// How a browse finds the addresses of a target named by host name: the system's resolver (the
// hosts file, DNS, whatever the name service switch says), asked once per browse for both IPv4
// and IPv6. Address literals never come here. Tests put a table in its place, so that no query
// ever leaves the machine.

#include "platform/NetworkAddress.h"
#include "platform/ProcessWide.h"

#include <string>
#include <vector>

namespace platform::browse {

class IHostResolver
{
public:
    virtual ~IHostResolver() = default;
    // Every address of the host, each with the port given; none when it has none or cannot be
    // found.
    virtual std::vector<NetworkAddress> Resolve(const std::string& strHost, std::uint16_t port) = 0;
};

std::shared_ptr<IHostResolver> CurrentHostResolver();

// Puts a resolver in place for the life of the guard.
class CScopedHostResolver : public CScopedInPlace<IHostResolver>
{
public:
    explicit CScopedHostResolver(std::shared_ptr<IHostResolver> pResolver);
};

} // namespace platform::browse
