#pragma once

#include <QSlider>

namespace tapewell::gui {

// The preview's position slider: a horizontal QSlider that also paints a
// range of its values (the cut page's selection) as a band on its groove.
class SelectionSlider : public QSlider {
    Q_OBJECT
public:
    explicit SelectionSlider(QWidget* parent = nullptr);

    // The band from start to end, both kept within the slider's range.
    void SetSelection(int start, int end);
    int SelectionStart() const { return m_start; }
    int SelectionEnd() const { return m_end; }
    // The band's rectangle in the widget (empty when start equals end).
    QRect SelectionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_start = 0;
    int m_end = 0;
};

}  // namespace tapewell::gui
