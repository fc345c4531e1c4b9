#include "gui/player/CaptionStyle.h"

#include <algorithm>
#include <cstdint>

#include "settings/AppSettings.h"

namespace tapewell::gui {

CaptionStyle CaptionStyle::FromSettings(const AppSettings& settings) {
    CaptionStyle style;
    style.m_face = QString::fromStdString(settings.m_captionFaceName);
    style.m_styleName = QString::fromStdString(settings.m_captionStyleName);
    style.m_size = ClampSize(settings.m_captionSize);
    style.m_bold = settings.m_captionBold;
    style.m_color = ColorFromRef(settings.m_captionColor);
    style.m_margin = ClampMargin(settings.m_captionMargin);
    return style;
}

void CaptionStyle::ToSettings(AppSettings& settings) const {
    settings.m_captionFaceName = m_face.toStdString();
    settings.m_captionStyleName = m_styleName.toStdString();
    settings.m_captionSize = ClampSize(m_size);
    settings.m_captionBold = m_bold;
    settings.m_captionColor = RefFromColor(m_color);
    settings.m_captionMargin = ClampMargin(m_margin);
}

QFont CaptionStyle::Font() const {
    return QFont(m_face, ClampSize(m_size), m_bold ? QFont::Bold : QFont::Normal);
}

void CaptionStyle::SetFont(const QFont& font) {
    m_face = font.family();
    m_styleName = font.styleName();
    if (font.pointSize() > 0)
        m_size = ClampSize(font.pointSize());
    m_bold = font.bold();
}

void CaptionStyle::StepSize(int delta) {
    m_size = static_cast<int>(std::clamp<int64_t>(int64_t{m_size} + delta, kMinSize, kMaxSize));
}

void CaptionStyle::StepMargin(int delta) {
    m_margin = static_cast<int>(std::clamp<int64_t>(int64_t{m_margin} + delta, 0, kMaxMargin));
}

QColor CaptionStyle::ColorFromRef(uint32_t ref) {
    return QColor(static_cast<int>(ref & 0xFFu), static_cast<int>((ref >> 8) & 0xFFu),
                  static_cast<int>((ref >> 16) & 0xFFu));
}

uint32_t CaptionStyle::RefFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<uint32_t>(rgb.red()) | (static_cast<uint32_t>(rgb.green()) << 8) |
           (static_cast<uint32_t>(rgb.blue()) << 16);
}

int CaptionStyle::ClampSize(int size) {
    return std::clamp(size, kMinSize, kMaxSize);
}

int CaptionStyle::ClampMargin(int margin) {
    return std::clamp(margin, 0, kMaxMargin);
}

}  // namespace tapewell::gui
