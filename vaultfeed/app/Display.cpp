#include "Display.h"

#include <QtGlobal>

#include <memory>
#include <xcb/xcb.h>

namespace Vaultfeed {

bool CanOpenDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    // A connection that failed is still an object to free.
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> pConnection(xcb_connect(nullptr, nullptr),
                                                                                   &xcb_disconnect);
    return xcb_connection_has_error(pConnection.get()) == 0;
}

} // namespace Vaultfeed
