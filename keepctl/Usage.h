#pragma once

namespace Keepctl {

// What keepctl prints after a command line it cannot run.
extern const wchar_t* const kUsageText;

} // namespace Keepctl
