#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>

namespace tapewell {
class AppSettings;
}

namespace tapewell::gui {

// The caption settings as the player draws them: "Caption Face Name",
// "Caption Size", "Caption Bold", "Caption Corlor", "Caption Style Name" and
// "Caption Margin". Sizes and margins are held within bounds here, because
// the stored values have none and QFont refuses a size of 0 or below.
struct CaptionStyle {
    static constexpr int kMinSize = 1;
    static constexpr int kMaxSize = 200;
    static constexpr int kMarginStep = 5;
    // Well past any screen's height; the layout keeps the band inside the
    // client, this only keeps sums with the margin from overflowing.
    static constexpr int kMaxMargin = 100000;

    QString m_face;
    // Kept from the font dialog; drawing does not use it.
    QString m_styleName;
    int m_size = 12;  // points
    bool m_bold = true;
    QColor m_color = Qt::white;
    int m_margin = 50;  // the caption band's height in pixels

    static CaptionStyle FromSettings(const AppSettings& settings);
    void ToSettings(AppSettings& settings) const;

    // The drawing font. A face the system lacks is substituted when drawn;
    // m_face keeps the stored name.
    QFont Font() const;
    // Takes face, size, bold and style name from the font dialog's choice.
    // A font sized in pixels keeps the current point size.
    void SetFont(const QFont& font);

    // Font bigger / smaller and the caption window's size commands.
    void StepSize(int delta);
    void StepMargin(int delta);

    // "Caption Corlor" is a colour reference 0x00BBGGRR: red in the low byte;
    // the top byte is ignored.
    static QColor ColorFromRef(uint32_t ref);
    static uint32_t RefFromColor(const QColor& color);

    static int ClampSize(int size);
    static int ClampMargin(int margin);
};

}  // namespace tapewell::gui
