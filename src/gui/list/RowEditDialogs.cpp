#include "gui/list/RowEditDialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tapewell::gui {
namespace {

// Wide enough for a typical stream address without scrolling.
constexpr int kTextEditWidth = 380;

}  // namespace

FindReplaceDialog::FindReplaceDialog(const QString& text, const QString& extraLabel, int extraCode,
                                     QWidget* parent)
    : QDialog(parent),
      m_text(new QLineEdit(text, this)),
      m_find(new QLineEdit(this)),
      m_replace(new QLineEdit(this)),
      m_allRows(new QCheckBox(tr("All list"), this)),
      m_modify(MakeButton(tr("Modify"), kModify)),
      m_replaceButton(MakeButton(tr("Replace"), kReplace)),
      m_cancel(new QPushButton(tr("Cancel"), this)) {
    m_text->setObjectName("text");
    m_find->setObjectName("find");
    m_replace->setObjectName("replace");
    m_allRows->setObjectName("allRows");
    m_cancel->setObjectName("cancel");
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Return in a field sets the text, the plain edit being the common use;
    // a button that has the focus answers Return itself.
    m_modify->setDefault(true);
    m_text->setMinimumWidth(kTextEditWidth);
    if (!extraLabel.isEmpty()) {
        m_extra = MakeButton(extraLabel, extraCode);
    }

    auto* findLabel = new QLabel(tr("Find What :"), this);
    findLabel->setBuddy(m_find);
    auto* replaceLabel = new QLabel(tr("Replace with :"), this);
    replaceLabel->setBuddy(m_replace);
    auto* fields = new QGridLayout;
    fields->addWidget(m_text, 0, 0, 1, 2);
    fields->addWidget(findLabel, 1, 0);
    fields->addWidget(m_find, 1, 1);
    fields->addWidget(replaceLabel, 2, 0);
    fields->addWidget(m_replace, 2, 1);
    fields->addWidget(m_allRows, 3, 1);
    fields->setRowStretch(4, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_modify);
    buttons->addWidget(m_replaceButton);
    if (m_extra != nullptr) {
        buttons->addWidget(m_extra);
    }
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);

    QWidget* order[] = {m_text,   m_find,          m_replace, m_allRows,
                        m_modify, m_replaceButton, m_extra,   m_cancel};
    QWidget* previous = nullptr;
    for (QWidget* widget : order) {
        if (widget == nullptr) {
            continue;
        }
        if (previous != nullptr) {
            setTabOrder(previous, widget);
        }
        previous = widget;
    }
    m_text->selectAll();
    m_text->setFocus();
}

QPushButton* FindReplaceDialog::MakeButton(const QString& label, int code) {
    auto* button = new QPushButton(label, this);
    connect(button, &QPushButton::clicked, this, [this, code] { done(code); });
    return button;
}

QString FindReplaceDialog::Text() const {
    return m_text->text();
}

QString FindReplaceDialog::FindText() const {
    return m_find->text();
}

QString FindReplaceDialog::ReplaceText() const {
    return m_replace->text();
}

bool FindReplaceDialog::AllRows() const {
    return m_allRows->isChecked();
}

UrlModifyDialog::UrlModifyDialog(const QString& address, QWidget* parent)
    : FindReplaceDialog(address, QString(), 0, parent) {
    setObjectName("urlModifyDialog");
    setWindowTitle(tr("URL Modify"));
    ModifyButton()->setObjectName("modify");
    ReplaceButton()->setObjectName("replaceButton");
}

FileNameDialog::FileNameDialog(const QString& name, QWidget* parent)
    : FindReplaceDialog(name, tr("Append"), kAppend, parent) {
    setObjectName("fileNameDialog");
    setWindowTitle(tr("Modify File Name"));
    ModifyButton()->setObjectName("modify");
    ReplaceButton()->setObjectName("replaceButton");
    AppendButton()->setObjectName("append");
}

FileInfoDialog::FileInfoDialog(const QString& title, QWidget* parent)
    : FileInfoDialog(title, nullptr, QString(), parent) {}

FileInfoDialog::FileInfoDialog(const QString& title, const QString& rowName, const QString& info,
                               QWidget* parent)
    : FileInfoDialog(title, &rowName, info, parent) {}

FileInfoDialog::FileInfoDialog(const QString& title, const QString* rowName, const QString& info,
                               QWidget* parent)
    : QDialog(parent),
      m_title(new QLineEdit(title, this)),
      m_info(new QLineEdit(info, this)),
      m_group(
          new QGroupBox(rowName != nullptr ? tr("Info : %1").arg(*rowName) : tr("Info"), this)) {
    setObjectName("fileInfoDialog");
    setWindowTitle(tr("File Info"));
    m_title->setObjectName("title");
    m_info->setObjectName("info");
    m_group->setObjectName("infoGroup");
    m_title->setMinimumWidth(kTextEditWidth);
    // Without a selected row there is no Info cell to write.
    m_info->setEnabled(rowName != nullptr);

    auto* form = new QFormLayout;
    auto* titleLabel = new QLabel(tr("Title :"), this);
    titleLabel->setBuddy(m_title);
    form->addRow(titleLabel, m_title);
    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->addWidget(m_info);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_group);
    layout->addStretch(1);
    layout->addWidget(buttons);

    setTabOrder(m_title, m_info);
    setTabOrder(m_info, m_ok);
    QLineEdit* first = rowName != nullptr ? m_info : m_title;
    first->selectAll();
    first->setFocus();
}

QString FileInfoDialog::Title() const {
    return m_title->text();
}

QString FileInfoDialog::Info() const {
    return m_info->text();
}

}  // namespace tapewell::gui
