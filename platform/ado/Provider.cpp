#include "Ado.h"
#include "FakeProvider.h"
#include "odbc/OdbcProvider.h"

#include <cstdlib>
#include <mutex>
#include <utility>

namespace platform::ado {
namespace {

std::mutex g_lock;
std::shared_ptr<Provider> g_pProvider;

// The ODBC provider, or the rules file named by VESTREL_SQL_SCRIPT (tests and demos).
std::shared_ptr<Provider> MachineProvider()
{
    const char* szRules = std::getenv("VESTREL_SQL_SCRIPT");
    if (szRules && *szRules)
        return LoadScriptedProvider(szRules);
    return MakeOdbcProvider();
}

} // namespace

Provider& CurrentProvider()
{
    const std::lock_guard guard(g_lock);
    if (!g_pProvider)
        g_pProvider = MachineProvider();
    return *g_pProvider;
}

CScopedProvider::CScopedProvider(std::shared_ptr<Provider> pProvider)
{
    const std::lock_guard guard(g_lock);
    m_pPrevious = std::exchange(g_pProvider, std::move(pProvider));
}

CScopedProvider::~CScopedProvider()
{
    const std::lock_guard guard(g_lock);
    g_pProvider = std::move(m_pPrevious);
}

} // namespace platform::ado
