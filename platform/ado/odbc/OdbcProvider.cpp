#include "OdbcProvider.h"

#include "OdbcConnection.h"

namespace platform::ado {

namespace {

class OdbcProvider final : public Provider
{
public:
    ConnectionPtr CreateConnection() override { return std::make_shared<odbc::OdbcConnection>(); }
};

} // namespace

std::shared_ptr<Provider> MakeOdbcProvider()
{
    return std::make_shared<OdbcProvider>();
}

} // namespace platform::ado
