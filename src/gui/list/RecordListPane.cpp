#include "gui/list/RecordListPane.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

#include "gui/list/CRecordListView.h"

namespace tapewell::gui {
namespace {

// The banner's still picture: the program's name on a dark band, drawn
// rather than shipped as an image so it stays sharp at any width and scale.
class BannerPicture final : public QWidget {
public:
    explicit BannerPicture(QWidget* parent) : QWidget(parent) {
        setFixedHeight(RecordListPane::kBannerHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0.0, QColor(0x1d, 0x2b, 0x3a));
        gradient.setColorAt(1.0, QColor(0x2f, 0x52, 0x6e));
        painter.fillRect(rect(), gradient);
        painter.setRenderHint(QPainter::Antialiasing);
        // Two reels of a tape, the program's mark.
        const int reel = height() / 2 - 8;
        const QPoint centre(18 + reel, height() / 2);
        painter.setPen(QPen(QColor(0xe8, 0xc0, 0x6a), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centre, reel, reel);
        painter.drawEllipse(centre + QPoint(2 * reel + 10, 0), reel, reel);
        painter.drawLine(centre + QPoint(0, reel), centre + QPoint(2 * reel + 10, reel));
        painter.setBrush(QColor(0xe8, 0xc0, 0x6a));
        painter.drawEllipse(centre, 3, 3);
        painter.drawEllipse(centre + QPoint(2 * reel + 10, 0), 3, 3);
        QFont font = painter.font();
        font.setPointSizeF(font.pointSizeF() * 1.6);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(QColor(0xf4, 0xf1, 0xea));
        const QRect text = rect().adjusted(4 * reel + 44, 0, -8, 0);
        painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                         QCoreApplication::translate("RecordListPane", "Tapewell"));
    }
};

}  // namespace

RecordListPane::RecordListPane(CRecordListView* view, QWidget* parent)
    : QWidget(parent), m_view(view), m_toolBand(new QWidget(this)), m_title(new QLabel(this)) {
    m_toolBand->setFixedHeight(kToolBandHeight);
    m_toolBand->setObjectName("toolBand");
    auto* bandLayout = new QHBoxLayout(m_toolBand);
    bandLayout->setContentsMargins(6, 4, 6, 4);
    m_title->setObjectName("listTitle");
    m_title->setTextFormat(Qt::PlainText);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bandLayout->addStretch(1);
    bandLayout->addWidget(m_title, 2, Qt::AlignRight | Qt::AlignVCenter);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBand);
    view->setParent(this);
    layout->addWidget(view, 1);
    layout->addWidget(new BannerPicture(this));
}

void RecordListPane::SetTitle(const QString& title) {
    m_title->setText(title);
    m_title->setToolTip(title);
}

QString RecordListPane::Title() const {
    return m_title->text();
}

}  // namespace tapewell::gui
