#include "Console.h"

#include <cstdio>

namespace Vaultdump {

void Print(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace Vaultdump
