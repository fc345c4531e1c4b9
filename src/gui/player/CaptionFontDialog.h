#pragma once

#include <QDialog>

#include "gui/player/CaptionStyle.h"

class QCheckBox;
class QFontComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tapewell::gui {

// "Setting font": face, size, bold and colour of the captions, with a
// preview. Edits a copy; the caller takes Style() when it is accepted. The
// colour chooser opens through UiPrompt like every other dialog.
class CaptionFontDialog : public QDialog {
    Q_OBJECT
public:
    explicit CaptionFontDialog(const CaptionStyle& style, QWidget* parent = nullptr);

    CaptionStyle Style() const { return m_style; }

private:
    void ChooseColor();
    void TakeControls();
    void ShowPreview();

    CaptionStyle m_style;
    QFontComboBox* m_face;
    QSpinBox* m_size;
    QCheckBox* m_bold;
    QPushButton* m_color;
    QLabel* m_preview;
};

}  // namespace tapewell::gui
