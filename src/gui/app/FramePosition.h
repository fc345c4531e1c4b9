#pragma once

#include <QPoint>
#include <QSize>

namespace tapewell::gui {

// Where the main window opens from its saved left and top: an axis whose
// value is not positive, or not inside the screen's extent, starts at 0, so
// a window saved on a screen that is gone does not open out of reach.
QPoint ClampFramePosition(QPoint saved, QSize screen);

}  // namespace tapewell::gui
