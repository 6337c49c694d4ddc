#include "platform/ado/Provider.h"

#include "platform/ado/odbc/OdbcProvider.h"

#include <utility>

namespace platform::ado {
namespace {

CProcessWide<Provider>& ProviderInPlace()
{
    static CProcessWide<Provider> provider(MakeOdbcProvider);
    return provider;
}

} // namespace

Provider& CurrentProvider()
{
    return *ProviderInPlace().Get();
}

CScopedProvider::CScopedProvider(std::shared_ptr<Provider> pProvider)
    : CScopedInPlace(ProviderInPlace(), std::move(pProvider))
{
}

} // namespace platform::ado
