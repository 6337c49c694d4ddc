#pragma once
// Why a domain's directory could not be read, in words for the trace.

#include <stdexcept>
#include <string>

namespace platform::netapi {

class CDirectoryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace platform::netapi
