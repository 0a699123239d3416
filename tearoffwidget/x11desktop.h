// What the X server says about the desktop, for the drag of tabs and
// windows; on other platforms the answers that turn the X11-only parts off.
#pragma once

namespace X11Desktop {
// True on an X11 display that has no compositing manager: a translucent
// window there shows black where it paints nothing.
bool LacksCompositor();
// True while the X server reports the left mouse button down; false off X11.
bool LeftButtonDown();
} // namespace X11Desktop
