#include "gui/manager/SelectionSlider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace tapewell::gui {
namespace {

constexpr int kBandHeight = 4;

}  // namespace

SelectionSlider::SelectionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setObjectName("positionSlider");
}

void SelectionSlider::SetSelection(int start, int end) {
    m_start = std::clamp(std::min(start, end), minimum(), maximum());
    m_end = std::clamp(std::max(start, end), minimum(), maximum());
    update();
}

QRect SelectionSlider::SelectionRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // The handle's centre travels over the groove less one handle width; the
    // band lines up with where the handle stands at each end.
    const int span = std::max(0, groove.width() - handle.width());
    const int origin = groove.x() + handle.width() / 2;
    const int left = origin + QStyle::sliderPositionFromValue(minimum(), maximum(), m_start, span);
    const int right = origin + QStyle::sliderPositionFromValue(minimum(), maximum(), m_end, span);
    return QRect(left, groove.center().y() - kBandHeight / 2 + 1, right - left, kBandHeight);
}

void SelectionSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    painter.fillRect(SelectionRect(), palette().color(QPalette::Highlight));
    // The handle goes over the band.
    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

}  // namespace tapewell::gui
