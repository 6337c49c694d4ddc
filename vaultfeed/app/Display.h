#pragma once
// Whether vaultfeed can show its windows, decided before Qt is asked for a display: Qt ends the
// program when it cannot open one.

namespace Vaultfeed {

// True when QT_QPA_PLATFORM names a platform (the user's choice is taken as it is), or when the X
// display that DISPLAY names (XWayland's included) accepts a connection.
bool CanOpenDisplay();

} // namespace Vaultfeed
