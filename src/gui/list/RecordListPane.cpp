#include "gui/list/RecordListPane.h"

#include <algorithm>

#include <QCoreApplication>
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

// The command band: the command bar at its left, and the list's title in
// the free strip along its top, right-aligned and shortened to fit.
class CommandBand final : public QWidget {
public:
    static constexpr int kTitleHeight = 16;

    CommandBand(QLabel* title, QWidget* parent) : QWidget(parent), m_title(title) {
        m_title->setParent(this);
    }

    void SetBar(QWidget* bar) {
        m_bar = bar;
        m_bar->setParent(this);
        // The window may follow a small video's width, but never so far
        // that the buttons and sliders are cut off.
        setMinimumWidth(m_bar->sizeHint().width());
        Place();
        m_bar->show();
    }

    void SetTitle(const QString& title) {
        m_full = title;
        m_title->setToolTip(title);
        Place();
    }
    const QString& Title() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent*) override { Place(); }

private:
    void Place() {
        if (m_bar != nullptr) {
            m_bar->setGeometry(0, 0, m_bar->sizeHint().width(), height());
        }
        m_title->setGeometry(4, 0, std::max(0, width() - 8), kTitleHeight);
        m_title->setText(
            m_title->fontMetrics().elidedText(m_full, Qt::ElideRight, m_title->width()));
    }

    QLabel* m_title;
    QWidget* m_bar = nullptr;
    QString m_full;
};

}  // namespace

RecordListPane::RecordListPane(CRecordListView* view, QWidget* parent)
    : QWidget(parent),
      m_view(view),
      m_toolBand(nullptr),
      m_title(new QLabel),
      m_banner(new BannerPicture(this)) {
    m_title->setObjectName("listTitle");
    m_title->setTextFormat(Qt::PlainText);
    m_title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont small = m_title->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_title->setFont(small);
    m_toolBand = new CommandBand(m_title, this);
    m_toolBand->setFixedHeight(kToolBandHeight);
    m_toolBand->setObjectName("toolBand");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBand);
    view->setParent(this);
    layout->addWidget(view, 1);
    m_banner->setObjectName("banner");
    layout->addWidget(m_banner);
}

void RecordListPane::SetCommandBar(QWidget* bar) {
    static_cast<CommandBand*>(m_toolBand)->SetBar(bar);
}

void RecordListPane::SetTitle(const QString& title) {
    static_cast<CommandBand*>(m_toolBand)->SetTitle(title);
}

QString RecordListPane::Title() const {
    return static_cast<CommandBand*>(m_toolBand)->Title();
}

}  // namespace tapewell::gui
