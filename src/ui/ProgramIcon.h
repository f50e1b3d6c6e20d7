#pragma once

class QWidget;

namespace vellumet
{

// Decoding the icon (and looking for image readers to do it) costs the start-up a
// millisecond before anything is on the screen, so it is set on first need instead:
// before a message box that comes ahead of the window, or once the window is painted.
void useProgramIcon();
void setProgramIcon(QWidget &window);

} // namespace vellumet
