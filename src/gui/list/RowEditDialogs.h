#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tapewell::gui {

// The common face of "URL Modify" and "Modify File Name": one text of the
// first selected row to set directly, and a find / replace pair that the
// window applies to that row, the selection or the whole list. The dialog
// only collects the input; the button that closed it is its result code.
class FindReplaceDialog : public QDialog {
    Q_OBJECT
public:
    // Result codes, the numbers of the commands behind the buttons.
    static constexpr int kModify = 211;
    static constexpr int kReplace = 213;

    // The text of the top edit.
    QString Text() const;
    QString FindText() const;
    QString ReplaceText() const;
    // "All list": replace in every row, not only in the chosen ones.
    bool AllRows() const;

    QLineEdit* TextEdit() const { return m_text; }
    QLineEdit* FindEdit() const { return m_find; }
    QLineEdit* ReplaceEdit() const { return m_replace; }
    QCheckBox* AllRowsBox() const { return m_allRows; }
    QPushButton* ModifyButton() const { return m_modify; }
    QPushButton* ReplaceButton() const { return m_replaceButton; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    // extraLabel, when not empty, is one more button under "Replace" that
    // ends the dialog with extraCode.
    FindReplaceDialog(const QString& text, const QString& extraLabel, int extraCode,
                      QWidget* parent);
    QPushButton* ExtraButton() const { return m_extra; }

private:
    QPushButton* MakeButton(const QString& label, int code);

    QLineEdit* m_text;
    QLineEdit* m_find;
    QLineEdit* m_replace;
    QCheckBox* m_allRows;
    QPushButton* m_modify;
    QPushButton* m_replaceButton;
    QPushButton* m_cancel;
    QPushButton* m_extra = nullptr;
};

// "URL Modify": the first selected row's address.
class UrlModifyDialog final : public FindReplaceDialog {
    Q_OBJECT
public:
    explicit UrlModifyDialog(const QString& address, QWidget* parent = nullptr);

    QString Address() const { return Text(); }
};

// "Modify File Name": the first selected row's File text; "Append" puts the
// text in front of the File text of every selected network row.
class FileNameDialog final : public FindReplaceDialog {
    Q_OBJECT
public:
    static constexpr int kAppend = 3;

    explicit FileNameDialog(const QString& name, QWidget* parent = nullptr);

    QString Name() const { return Text(); }
    QPushButton* AppendButton() const { return ExtraButton(); }
};

// "File Info": the list title, and the Info text of the selected row.
class FileInfoDialog final : public QDialog {
    Q_OBJECT
public:
    // Without a row: only the title can be changed.
    explicit FileInfoDialog(const QString& title, QWidget* parent = nullptr);
    // With the selected row's name (shown in the group title) and Info text.
    FileInfoDialog(const QString& title, const QString& rowName, const QString& info,
                   QWidget* parent = nullptr);

    QString Title() const;
    QString Info() const;

    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* InfoEdit() const { return m_info; }
    QGroupBox* InfoGroup() const { return m_group; }
    QPushButton* OkButton() const { return m_ok; }

private:
    FileInfoDialog(const QString& title, const QString* rowName, const QString& info,
                   QWidget* parent);

    QLineEdit* m_title;
    QLineEdit* m_info;
    QGroupBox* m_group;
    QPushButton* m_ok = nullptr;
};

}  // namespace tapewell::gui
