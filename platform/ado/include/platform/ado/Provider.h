#pragma once
// The provider that makes this process's connections: the ODBC one, unless a test put its own in
// place.

#include "platform/ProcessWide.h"
#include "platform/ado/Ado.h"

#include <memory>

namespace platform::ado {

Provider& CurrentProvider();

// Puts a provider in place for the life of the guard.
class CScopedProvider : public CScopedInPlace<Provider>
{
public:
    explicit CScopedProvider(std::shared_ptr<Provider> pProvider);
};

} // namespace platform::ado
