#pragma once
// The provider of real connections: ODBC through unixODBC, with the driver named in the
// registry (FreeTDS unless configured otherwise).

#include "platform/ado/Ado.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform::ado {

std::shared_ptr<Provider> MakeOdbcProvider();

// A connection opened with an ODBC connection string as it stands (no server settings to
// translate), for programs that keep their own data through this layer; the login timeout in
// seconds. Failures throw _com_error after filling the connection's errors collection, which the
// caller cannot read when the open itself failed: the error's description then carries the first.
ConnectionPtr OpenOdbcConnection(const std::wstring& strOdbcConnectionString, std::int32_t lLoginTimeout);

} // namespace platform::ado
