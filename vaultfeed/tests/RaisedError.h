#pragma once
// What a call into the service raised, as the program would print it.

#include "common/ComError.h"
#include "common/StringUtils.h"
#include "vaultfeed/ServiceCalls.h"

#include <functional>
#include <string>

namespace VaultfeedTests {

// The Com Error text of what the call raised, or "no error".
inline std::string ComErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const UTIL::COM::_com_error& e) {
        return WideToNarrow(Vaultfeed::ComErrorText(e));
    }
    return "no error";
}

} // namespace VaultfeedTests
