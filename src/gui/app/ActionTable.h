#pragma once

#include <QAction>
#include <QKeySequence>
#include <QObject>
#include <QString>

#include <map>

namespace tapewell::gui {

// The program's command numbers. Menus, toolbar buttons and context menus
// all show the one QAction that carries a number.
namespace command {
// The list's commands.
inline constexpr int kNewList = 57600;
inline constexpr int kOpen = 57601;
inline constexpr int kOpenAs = 406;
inline constexpr int kUrlOpen = 385;
inline constexpr int kRecentFirst = 57616;  // recent entry i is kRecentFirst + i
inline constexpr int kRecentLast = 57656;
inline constexpr int kPlay = 242;
inline constexpr int kPause = 243;
inline constexpr int kStop = 247;
inline constexpr int kRepeat = 263;
inline constexpr int kBigScreen = 110;
inline constexpr int kMinimize = 107;
inline constexpr int kVolumeUp = 361;
inline constexpr int kVolumeDown = 363;
inline constexpr int kMute = 365;
inline constexpr int kDelete = 404;
inline constexpr int kDeleteAll = 421;
inline constexpr int kModifyUrl = 418;
inline constexpr int kModifyFileName = 425;
inline constexpr int kSetAuthentication = 422;
inline constexpr int kEditInfo = 426;
inline constexpr int kMoveUp = 423;
inline constexpr int kMoveDown = 424;
inline constexpr int kCopyClipboard = 346;
inline constexpr int kIbhSaveUrls = 402;
inline constexpr int kIbhSaveFiles = 419;
inline constexpr int kIbhSaveAll = 420;
inline constexpr int kAsxSave = 370;
inline constexpr int kAsxSaveAs = 371;
inline constexpr int kAsfManagerCut = 1200;
inline constexpr int kAsfManagerCapture = 1201;
inline constexpr int kAsfManagerInfo = 1202;
inline constexpr int kPreferences = 333;
inline constexpr int kUrlCapture = 337;

inline constexpr int kRecordStart = 249;
inline constexpr int kRecordStop = 256;
inline constexpr int kExit = 367;
inline constexpr int kOnTop = 383;
inline constexpr int kProtectScreenSave = 384;
inline constexpr int kCheckStart = 1070;  // "Start" under "URL Check"
inline constexpr int kCheckStop = 1071;   // "Stop" under "URL Check"
// The selected rows' own recordings and plans.
inline constexpr int kStopRecording = 1300;
inline constexpr int kSchedule = 1301;
inline constexpr int kStreams = 1302;

// The player's commands.
inline constexpr int kHidePlayer = 103;
inline constexpr int kCopyPicture = 118;
inline constexpr int kPlayPause = 331;
inline constexpr int kPlayStop = 332;
inline constexpr int kHalfSize = 348;
inline constexpr int kNormalSize = 349;
inline constexpr int kDoubleSize = 350;
inline constexpr int kFullSize = 351;
inline constexpr int kBack30 = 352;
inline constexpr int kForward30 = 353;
inline constexpr int kBack60 = 354;
inline constexpr int kForward60 = 356;
inline constexpr int kKeepRatio = 360;
inline constexpr int kKeepSize = 369;
inline constexpr int kHideCaption = 373;
inline constexpr int kFontBigger = 377;
inline constexpr int kSettingFont = 379;
inline constexpr int kFontSmaller = 380;
inline constexpr int kFontBold = 381;
inline constexpr int kSlowSpeed = 386;
inline constexpr int kLargeCaption = 387;
inline constexpr int kSmallCaption = 388;
inline constexpr int kNormalSpeed = 389;
inline constexpr int kFastSpeed = 390;
}  // namespace command

// One QAction per command number, owned by the main window (added to it,
// so that its shortcuts work wherever the focus is in the window).
class ActionTable : public QObject {
    Q_OBJECT
public:
    explicit ActionTable(QWidget* window);

    // Makes the action for id (its data() is the id); a second Add of the
    // same id returns the first action unchanged.
    QAction* Add(int id, const QString& text, const QKeySequence& shortcut = {},
                 bool checkable = false);
    // nullptr when no action has that id.
    QAction* Get(int id) const;

private:
    QWidget* m_window;
    std::map<int, QAction*> m_actions;
};

}  // namespace tapewell::gui
