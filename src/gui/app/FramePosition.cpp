#include "gui/app/FramePosition.h"

namespace tapewell::gui {
namespace {

int ClampAxis(int value, int extent) {
    return (value <= 0 || value >= extent) ? 0 : value;
}

}  // namespace

QPoint ClampFramePosition(QPoint saved, QSize screen) {
    return {ClampAxis(saved.x(), screen.width()), ClampAxis(saved.y(), screen.height())};
}

}  // namespace tapewell::gui
