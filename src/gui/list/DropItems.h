#pragma once

#include <QStringList>

class QMimeData;

namespace tapewell::gui {

// What a drop brings, in drop order: local files (also given as file://
// URIs) as paths, and http, mms, mmst, mmsu and rtsp addresses as they are.
// Anything else is left out; an empty list means the drop is refused.
QStringList DropItems(const QMimeData& data);

}  // namespace tapewell::gui
