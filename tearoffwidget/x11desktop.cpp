#include "tearoffwidget/x11desktop.h"

#include <cstdlib>

#include <QX11Info>
#include <xcb/xcb.h>

bool X11Desktop::LacksCompositor()
{
    return QX11Info::isPlatformX11() && !QX11Info::isCompositingManagerRunning();
}

bool X11Desktop::LeftButtonDown()
{
    if (!QX11Info::isPlatformX11())
        return false;
    xcb_connection_t* connection = QX11Info::connection();
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, QX11Info::appRootWindow()), nullptr);
    if (!reply)
        return false;
    const bool down = (reply->mask & XCB_BUTTON_MASK_1) != 0;
    std::free(reply);
    return down;
}
