#pragma once

#include <QIcon>

namespace tapewell::gui {

// The program's icon, two tape reels on a dark tile. It comes from the same
// SVG drawing that is installed into the desktop's icon theme, built in as
// :/icons/tapewell.svg; where Qt's SVG plugin is missing, the same motif is
// painted instead so that windows never go without an icon.
QIcon AppIcon();

}  // namespace tapewell::gui
