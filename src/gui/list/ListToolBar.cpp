#include "gui/list/ListToolBar.h"

#include <QAction>
#include <QEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include "gui/app/ActionTable.h"

namespace tapewell::gui {
namespace {

constexpr int kButtonTop = 17;
constexpr int kButtonSize = 29;
constexpr int kBarWidth = 392;

// A plain red disc: no icon theme names a "start recording" picture that
// every desktop has.
QIcon RecordIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x8a, 0x12, 0x12), 3));
    painter.setBrush(QColor(0xd9, 0x2b, 0x2b));
    painter.drawEllipse(QRectF(12, 12, 40, 40));
    return QIcon(pixmap);
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget) {
    return QIcon::fromTheme(QLatin1String(name), widget->style()->standardIcon(fallback));
}

}  // namespace

ListToolBar::ListToolBar(ActionTable& actions, QWidget* parent)
    : QWidget(parent),
      m_position(new QSlider(Qt::Horizontal, this)),
      m_volume(new QSlider(Qt::Horizontal, this)) {
    setObjectName("listToolBar");
    struct Button {
        int id;
        int x;
        const char* icon;
        QStyle::StandardPixmap fallback;
    };
    const Button buttons[] = {
        {command::kPlay, 3, "media-playback-start", QStyle::SP_MediaPlay},
        {command::kPause, 32, "media-playback-pause", QStyle::SP_MediaPause},
        {command::kStop, 62, "media-playback-stop", QStyle::SP_MediaStop},
        {command::kRecordStart, 94, "media-record", QStyle::SP_CustomBase},
        {command::kRecordStop, 123, "process-stop", QStyle::SP_BrowserStop},
        {command::kOpenAs, 156, "document-open", QStyle::SP_DialogOpenButton},
        {command::kBigScreen, 185, "view-fullscreen", QStyle::SP_TitleBarMaxButton},
        {command::kRepeat, 214, "media-playlist-repeat", QStyle::SP_BrowserReload},
        {command::kUrlCapture, 248, "network-wired", QStyle::SP_DriveNetIcon},
    };
    for (const Button& button : buttons) {
        QAction* action = actions.Get(button.id);
        if (action != nullptr && action->icon().isNull()) {
            action->setIcon(button.id == command::kRecordStart
                                ? QIcon::fromTheme("media-record", RecordIcon())
                                : ThemeIcon(button.icon, button.fallback, this));
        }
        AddButton(actions, button.id, QRect(button.x, kButtonTop, kButtonSize, kButtonSize));
    }
    if (QAction* mute = actions.Get(command::kMute); mute != nullptr && mute->icon().isNull()) {
        mute->setIcon(ThemeIcon("audio-volume-muted", QStyle::SP_MediaVolumeMuted, this));
    }
    if (QToolButton* mute = AddButton(actions, command::kMute, QRect(291, 32, 18, 16))) {
        mute->setIconSize(QSize(12, 12));
    }

    m_position->setObjectName("positionSlider");
    m_position->setGeometry(292, 17, 96, 14);
    m_position->setRange(0, 0);
    m_position->setToolTip(tr("Position"));
    m_volume->setObjectName("volumeSlider");
    m_volume->setGeometry(312, 33, 76, 14);
    m_volume->setRange(0, kVolumeMax);
    m_volume->setPageStep(kVolumeMax / 10);
    m_volume->setToolTip(tr("Volume"));
    // Playback drives them; until it does they are idle.
    m_position->setEnabled(false);
    m_volume->setEnabled(false);
    m_position->installEventFilter(this);
    m_volume->installEventFilter(this);
}

bool ListToolBar::eventFilter(QObject* watched, QEvent* event) {
    // Tooltips are asked for by the widget under the cursor; eating the
    // request is how the option turns them off without losing the texts.
    if (event->type() == QEvent::ToolTip && !m_toolTips) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QToolButton* ListToolBar::AddButton(ActionTable& actions, int id, const QRect& geometry) {
    QAction* action = actions.Get(id);
    if (action == nullptr) {
        return nullptr;
    }
    // The tooltip is the command's text as the menus show it, without the
    // keyboard mnemonic ("Open As(&A)..." reads "Open As...").
    QString tip = action->text();
    tip.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    tip.remove('&');
    action->setToolTip(tip);
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("toolButton%1").arg(id));
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(20, 20));
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(geometry);
    button->installEventFilter(this);
    return button;
}

QToolButton* ListToolBar::Button(int id) const {
    return findChild<QToolButton*>(QStringLiteral("toolButton%1").arg(id));
}

QSize ListToolBar::sizeHint() const {
    return QSize(kBarWidth, kButtonTop + kButtonSize + 4);
}

}  // namespace tapewell::gui
