#include "gui/list/FileExistsDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tapewell::gui {

FileExistsDialog::FileExistsDialog(const QString& path, QWidget* parent)
    : QDialog(parent),
      m_ok(new QPushButton(tr("Ok"), this)),
      m_cancel(new QPushButton(tr("Cancel"), this)),
      m_saveAs(new QPushButton(tr("Save As ..."), this)),
      m_pass(new QPushButton(tr("Pass"), this)),
      m_quit(new QPushButton(tr("Quit"), this)),
      m_all(new QCheckBox(tr("All"), this)) {
    setObjectName("fileExistsDialog");
    setWindowTitle(QCoreApplication::translate("CMainFrame", "Tapewell"));

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()
                        ->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this)
                        .pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(tr("%1 \n\n File exist. Overwrite?").arg(path), this);
    text->setObjectName("text");
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* message = new QHBoxLayout;
    message->addWidget(icon);
    message->addWidget(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_all);
    buttons->addStretch(1);
    for (QPushButton* button : {m_ok, m_cancel, m_saveAs, m_pass, m_quit}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    m_cancel->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(message);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_saveAs, &QPushButton::clicked, this, [this] { done(kSaveAs); });
    connect(m_pass, &QPushButton::clicked, this, [this] { done(kPass); });
    connect(m_quit, &QPushButton::clicked, this, [this] { done(kQuit); });
}

JobPrompt::ExistsChoice FileExistsDialog::Choice(int result) const {
    using Answer = JobPrompt::ExistsAnswer;
    switch (result) {
        case Accepted:
            return {Answer::Ok, false};
        case kSaveAs:
            return {Answer::SaveAs, false};
        case kPass:
            return {Answer::Pass, m_all->isChecked()};
        case kQuit:
            return {Answer::Quit, false};
        default:
            return {Answer::Cancel, false};
    }
}

QPushButton* FileExistsDialog::Button(JobPrompt::ExistsAnswer answer) const {
    using Answer = JobPrompt::ExistsAnswer;
    switch (answer) {
        case Answer::Ok:
            return m_ok;
        case Answer::SaveAs:
            return m_saveAs;
        case Answer::Pass:
            return m_pass;
        case Answer::Quit:
            return m_quit;
        case Answer::Cancel:
            break;
    }
    return m_cancel;
}

}  // namespace tapewell::gui
