#include "gui/list/DropItems.h"

#include <QMimeData>
#include <QUrl>

#include <array>

namespace tapewell::gui {
namespace {

// The stream schemes the record list can record or play.
constexpr std::array<QLatin1String, 5> kStreamSchemes{QLatin1String("http"), QLatin1String("mms"),
                                                      QLatin1String("mmst"), QLatin1String("mmsu"),
                                                      QLatin1String("rtsp")};

bool IsStreamScheme(const QString& scheme) {
    for (QLatin1String known : kStreamSchemes) {
        if (scheme.compare(known, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// A line of dropped text is taken when it is a local path or reads as a
// stream address ("mms://...").
bool IsItemLine(const QString& line) {
    if (line.startsWith(QLatin1Char('/'))) {
        return true;
    }
    const qsizetype separator = line.indexOf(QLatin1String("://"));
    return separator > 0 && IsStreamScheme(line.left(separator));
}

}  // namespace

QStringList DropItems(const QMimeData& data) {
    QStringList items;
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls()) {
            if (url.isLocalFile()) {
                const QString path = url.toLocalFile();
                if (!path.isEmpty()) {
                    items << path;
                }
            } else if (url.isValid() && IsStreamScheme(url.scheme())) {
                // Encoded as the dragging program gave it: a decoded "%20"
                // would put a blank into an HTTP request line.
                items << url.toString(QUrl::FullyEncoded);
            }
        }
        return items;
    }
    if (data.hasText()) {
        const QStringList lines = data.text().split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const QString item = line.trimmed();
            if (IsItemLine(item)) {
                items << item;
            }
        }
    }
    return items;
}

}  // namespace tapewell::gui
