#pragma once

#include <QWidget>

class QSlider;
class QToolButton;

namespace tapewell::gui {

class ActionTable;

// The command band's buttons above the record list: play, pause, stop,
// record, record stop, open as, big screen mode, repeat and URL capture,
// the small mute button, and the position and volume sliders. Every button
// shows one action of the table, so its state and tooltip are the
// action's. The sliders report through their own signals.
class ListToolBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kVolumeMax = 5000;

    explicit ListToolBar(ActionTable& actions, QWidget* parent = nullptr);

    QSlider* PositionSlider() const { return m_position; }
    QSlider* VolumeSlider() const { return m_volume; }
    // The button that shows command id; nullptr when there is none.
    QToolButton* Button(int id) const;

    QSize sizeHint() const override;

    // The "ToolTip" option: off, no button or slider shows its tooltip.
    void SetToolTips(bool on) { m_toolTips = on; }
    bool ToolTips() const { return m_toolTips; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* AddButton(ActionTable& actions, int id, const QRect& geometry);

    QSlider* m_position;
    QSlider* m_volume;
    bool m_toolTips = true;
};

}  // namespace tapewell::gui
