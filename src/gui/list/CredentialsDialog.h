#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace tapewell::gui {

// "Username and Password Required": the user name and password for a site
// that asked for them, and whether to keep them for that site. OK is
// possible only with both fields filled, since a login with one of them
// empty would only be refused again.
class CredentialsDialog : public QDialog {
    Q_OBJECT
public:
    CredentialsDialog(const QString& site, const QString& user, const QString& password,
                      QWidget* parent = nullptr);

    QString User() const;
    QString Password() const;
    // "save?": keep the pair for this site.
    bool Save() const;

    QLineEdit* UserEdit() const { return m_user; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QCheckBox* SaveBox() const { return m_save; }
    QPushButton* OkButton() const { return m_ok; }

    void accept() override;

private:
    bool Complete() const;

    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_save;
    QPushButton* m_ok;
};

}  // namespace tapewell::gui
