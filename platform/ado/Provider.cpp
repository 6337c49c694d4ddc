#include "Ado.h"
#include "FakeProvider.h"
#include "odbc/OdbcProvider.h"

#include "platform/ProcessWide.h"

#include <cstdlib>
#include <utility>

namespace platform::ado {
namespace {

// The ODBC provider, or the rules file named by VESTREL_SQL_SCRIPT (tests and demos).
std::shared_ptr<Provider> MachineProvider()
{
    const char* szRules = std::getenv("VESTREL_SQL_SCRIPT");
    if (szRules && *szRules)
        return LoadScriptedProvider(szRules);
    return MakeOdbcProvider();
}

CProcessWide<Provider>& ProviderInPlace()
{
    static CProcessWide<Provider> provider(MachineProvider);
    return provider;
}

} // namespace

Provider& CurrentProvider() { return *ProviderInPlace().Get(); }

CScopedProvider::CScopedProvider(std::shared_ptr<Provider> pProvider)
    : CScopedInPlace(ProviderInPlace(), std::move(pProvider))
{
}

} // namespace platform::ado
