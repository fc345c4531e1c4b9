#include "gui/player/CaptionFontDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/app/UiPrompt.h"

namespace tapewell::gui {

CaptionFontDialog::CaptionFontDialog(const CaptionStyle& style, QWidget* parent)
    : QDialog(parent),
      m_style(style),
      m_face(new QFontComboBox(this)),
      m_size(new QSpinBox(this)),
      m_bold(new QCheckBox(tr("Bold"), this)),
      m_color(new QPushButton(tr("Colour..."), this)),
      m_preview(new QLabel(tr("Caption preview"), this)) {
    setObjectName("captionFontDialog");
    setWindowTitle(tr("Caption Font"));
    m_face->setCurrentFont(style.Font());
    m_size->setRange(CaptionStyle::kMinSize, CaptionStyle::kMaxSize);
    m_size->setValue(CaptionStyle::ClampSize(style.m_size));
    m_bold->setChecked(style.m_bold);
    m_preview->setObjectName("captionPreview");
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setAutoFillBackground(true);
    m_preview->setMinimumHeight(60);

    auto* form = new QFormLayout;
    form->addRow(tr("Font"), m_face);
    form->addRow(tr("Size"), m_size);
    form->addRow(QString(), m_bold);
    form->addRow(tr("Colour"), m_color);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_preview);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_face, &QFontComboBox::currentFontChanged, this, &CaptionFontDialog::TakeControls);
    connect(m_size, &QSpinBox::valueChanged, this, &CaptionFontDialog::TakeControls);
    connect(m_bold, &QCheckBox::toggled, this, &CaptionFontDialog::TakeControls);
    connect(m_color, &QPushButton::clicked, this, &CaptionFontDialog::ChooseColor);
    ShowPreview();
}

void CaptionFontDialog::TakeControls() {
    m_style.m_face = m_face->currentFont().family();
    m_style.m_size = m_size->value();
    m_style.m_bold = m_bold->isChecked();
    ShowPreview();
}

void CaptionFontDialog::ChooseColor() {
    auto* chooser = new QColorDialog(m_style.m_color, this);
    UiPrompt::Instance().Open(chooser, [this, chooser](int result) {
        if (result == QDialog::Accepted) {
            m_style.m_color = chooser->selectedColor();
            ShowPreview();
        }
    });
}

void CaptionFontDialog::ShowPreview() {
    QPalette palette = m_preview->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, m_style.m_color);
    m_preview->setPalette(palette);
    m_preview->setFont(m_style.Font());
}

}  // namespace tapewell::gui
