#pragma once

#include <QIcon>

namespace tapewell::gui {

// The program's icon, two tape reels on a dark tile, drawn at the sizes a
// desktop asks for so it stays sharp without shipping image files.
QIcon AppIcon();

}  // namespace tapewell::gui
