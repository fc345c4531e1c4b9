#include "gui/list/CredentialsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tapewell::gui {

CredentialsDialog::CredentialsDialog(const QString& site, const QString& user,
                                     const QString& password, QWidget* parent)
    : QDialog(parent),
      m_user(new QLineEdit(user, this)),
      m_password(new QLineEdit(password, this)),
      m_save(new QCheckBox(tr("save?(&S)"), this)),
      m_ok(nullptr) {
    setObjectName("credentialsDialog");
    setWindowTitle(tr("Username and Password Required"));
    m_user->setObjectName("user");
    m_password->setObjectName("password");
    m_password->setEchoMode(QLineEdit::Password);
    m_save->setObjectName("save");

    auto* siteText = new QLabel(site, this);
    siteText->setObjectName("site");
    siteText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* form = new QFormLayout;
    form->addRow(tr("Site :"), siteText);
    form->addRow(tr("Region :"), new QLabel(this));
    auto* userLabel = new QLabel(tr("Username( &U) :"), this);
    userLabel->setBuddy(m_user);
    form->addRow(userLabel, m_user);
    auto* passwordLabel = new QLabel(tr("Password( &P) :"), this);
    passwordLabel->setBuddy(m_password);
    form->addRow(passwordLabel, m_password);
    form->addRow(QString(), m_save);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(tr("Ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CredentialsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Enter username for Member( Case sensitive )"), this));
    layout->addLayout(form);
    layout->addWidget(buttons);

    const auto follow = [this] { m_ok->setEnabled(Complete()); };
    connect(m_user, &QLineEdit::textChanged, this, follow);
    connect(m_password, &QLineEdit::textChanged, this, follow);
    follow();
    (m_user->text().isEmpty() ? m_user : m_password)->setFocus();
}

QString CredentialsDialog::User() const {
    return m_user->text();
}

QString CredentialsDialog::Password() const {
    return m_password->text();
}

bool CredentialsDialog::Save() const {
    return m_save->isChecked();
}

bool CredentialsDialog::Complete() const {
    return !m_user->text().isEmpty() && !m_password->text().isEmpty();
}

void CredentialsDialog::accept() {
    // Enter in a field reaches here even while OK is greyed out.
    if (Complete()) {
        QDialog::accept();
    }
}

}  // namespace tapewell::gui
