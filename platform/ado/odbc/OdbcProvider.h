#pragma once
// The provider of real connections: ODBC through unixODBC, with the driver named in the
// registry (FreeTDS unless configured otherwise).

#include "platform/ado/Ado.h"

#include <memory>

namespace platform::ado {

std::shared_ptr<Provider> MakeOdbcProvider();

} // namespace platform::ado
