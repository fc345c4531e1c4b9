// The player's commands: their actions, keys, greying and menu.
#include <QMenu>

#include "gui/app/ActionTable.h"
#include "gui/player/PlayerView.h"
#include "settings/AppSettings.h"

namespace tapewell::gui {
namespace {

// Commands that act on the shown video, and those that act on its captions;
// both are greyed while no video shows, the second also without captions.
constexpr int kSizeCommands[] = {command::kHalfSize, command::kNormalSize, command::kDoubleSize,
                                 command::kFullSize};
constexpr int kCaptionCommands[] = {
    command::kHideCaption, command::kFontBigger,   command::kSettingFont, command::kFontSmaller,
    command::kFontBold,    command::kLargeCaption, command::kSmallCaption};

}  // namespace

void PlayerView::CreateActions(ActionTable& actions) {
    auto add = [&](int id, const QString& text, const QKeySequence& key, auto slot,
                   bool checkable = false) {
        QAction* action = actions.Add(id, text, key, checkable);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    add(command::kPlayPause, tr("Play/Pause"), {}, [this] { PlayPause(); });
    add(command::kPlayStop, tr("Stop"), {}, [this] { Stop(); });
    add(command::kBack30, tr("Back 30 sec"), QKeySequence(Qt::SHIFT | Qt::Key_Left),
        [this] { SeekBy(-30); });
    add(command::kForward30, tr("Forward 30 sec"), QKeySequence(Qt::SHIFT | Qt::Key_Right),
        [this] { SeekBy(30); });
    add(command::kBack60, tr("Back 1 min"), QKeySequence(Qt::CTRL | Qt::Key_Left),
        [this] { SeekBy(-60); });
    add(command::kForward60, tr("Forward 1 min"), QKeySequence(Qt::CTRL | Qt::Key_Right),
        [this] { SeekBy(60); });
    add(command::kHalfSize, tr("Half Size"), QKeySequence(Qt::ALT | Qt::Key_1),
        [this] { SetSizeMode(SizeMode::kHalf); });
    add(command::kNormalSize, tr("Normal Size"), QKeySequence(Qt::ALT | Qt::Key_2),
        [this] { SetSizeMode(SizeMode::kNormal); });
    add(command::kDoubleSize, tr("Double Size"), QKeySequence(Qt::ALT | Qt::Key_3),
        [this] { SetSizeMode(SizeMode::kDouble); });
    // Esc only leaves full screen (the full-screen window takes it): bound
    // here it would also send a windowed player into full screen.
    QAction* full = add(command::kFullSize, tr("Full Size"), QKeySequence(Qt::ALT | Qt::Key_Return),
                        [this] { SetFullScreen(!IsFullScreen()); });
    full->setShortcuts(
        {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
    QAction* keepSize = add(
        command::kKeepSize, tr("Keep Screen Size"), {},
        [this](bool on) { m_settings.m_keepSize = on; }, true);
    keepSize->setChecked(m_settings.m_keepSize);
    QAction* keep = add(
        command::kKeepRatio, tr("Keep Ratio"), {}, [this](bool on) { ToggleKeepRatio(on); }, true);
    keep->setChecked(m_settings.m_keep);
    add(command::kSlowSpeed, tr("Slow Speed"), QKeySequence(Qt::CTRL | Qt::Key_1),
        [this] { m_player.RateDown(); });
    add(command::kNormalSpeed, tr("Normal Speed"), QKeySequence(Qt::CTRL | Qt::Key_2),
        [this] { m_player.SetRate(1.0); });
    add(command::kFastSpeed, tr("Fast Speed"), QKeySequence(Qt::CTRL | Qt::Key_3),
        [this] { m_player.RateUp(); });
    add(command::kHideCaption, tr("Hide Caption"), {}, [this] { ToggleCaptions(); });
    add(command::kFontBigger, tr("Font Bigger"), QKeySequence(Qt::ALT | Qt::Key_F1), [this] {
        m_caption.StepSize(1);
        ApplyCaptionStyle();
    });
    add(command::kFontSmaller, tr("Font Smaller"), QKeySequence(Qt::ALT | Qt::Key_F2), [this] {
        m_caption.StepSize(-1);
        ApplyCaptionStyle();
    });
    add(command::kFontBold, tr("Font Bold"), QKeySequence(Qt::ALT | Qt::Key_F3), [this] {
        m_caption.m_bold = !m_caption.m_bold;
        ApplyCaptionStyle();
    });
    add(command::kSettingFont, tr("Setting Font..."), QKeySequence(Qt::ALT | Qt::Key_S),
        [this] { OpenFontDialog(); });
    add(command::kLargeCaption, tr("Large Caption Window"), QKeySequence(Qt::ALT | Qt::Key_F9),
        [this] { StepCaptionMargin(CaptionStyle::kMarginStep); });
    add(command::kSmallCaption, tr("Small Caption Window"), QKeySequence(Qt::ALT | Qt::Key_F10),
        [this] { StepCaptionMargin(-CaptionStyle::kMarginStep); });
    add(command::kCopyPicture, tr("Copy Picture"), {}, [this] { CopyPicture(); });
    add(command::kHidePlayer, tr("Hide"), {}, [this] { hide(); });
}

void PlayerView::UpdateActions() {
    const bool video = ShowsVideo();
    for (int id : kSizeCommands) {
        if (QAction* action = m_actions.Get(id))
            action->setEnabled(video);
    }
    for (int id : kCaptionCommands) {
        if (QAction* action = m_actions.Get(id))
            action->setEnabled(video && m_hasCaptions);
    }
    if (QAction* action = m_actions.Get(command::kCopyPicture))
        action->setEnabled(video);
}

QMenu* PlayerView::CreateMenu(QWidget* parent) {
    auto* menu = new QMenu(tr("&Player"), parent);
    menu->setObjectName("playerMenu");
    connect(menu, &QMenu::aboutToShow, this, &PlayerView::UpdateActions);
    auto addGroup = [&](std::initializer_list<int> ids) {
        for (int id : ids) {
            if (QAction* action = m_actions.Get(id))
                menu->addAction(action);
        }
        menu->addSeparator();
    };
    addGroup({command::kPlayPause, command::kPlayStop});
    addGroup({command::kBack30, command::kForward30, command::kBack60, command::kForward60});
    addGroup({command::kHalfSize, command::kNormalSize, command::kDoubleSize, command::kFullSize,
              command::kKeepSize, command::kKeepRatio});
    addGroup({command::kSlowSpeed, command::kNormalSpeed, command::kFastSpeed});
    addGroup({command::kHideCaption, command::kFontBigger, command::kFontSmaller,
              command::kFontBold, command::kSettingFont, command::kLargeCaption,
              command::kSmallCaption});
    for (int id : {command::kCopyPicture, command::kHidePlayer}) {
        if (QAction* action = m_actions.Get(id))
            menu->addAction(action);
    }
    return menu;
}

}  // namespace tapewell::gui
