#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "app/RecentStartUrls.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace tapewell {
class ProfileStore;
}

namespace tapewell::gui {

// "Open": the user types one address, or a start and an end address that
// differ only in a number, to play or record. "Preview" writes the series
// into a list below (hidden until then) that the user may edit and take with
// its "OK". The start addresses used with "Play" and "Record" are kept in
// the profile (RecentStartUrls) and offered in the start combo box.
//
// Ends with kPlay, kRecord or kOk and the addresses in Result(), or is
// rejected (either "Cancel", Escape) without a result.
class UrlOpenDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPlay = 1;
    static constexpr int kRecord = 159;
    static constexpr int kOk = 416;

    explicit UrlOpenDialog(ProfileStore& profile, QWidget* parent = nullptr);

    // The addresses collected when the dialog ended, in list order.
    QStringList Result() const { return m_result; }

    QComboBox* StartCombo() const { return m_start; }
    QLineEdit* EndEdit() const { return m_end; }
    QPlainTextEdit* ListEdit() const { return m_list; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* RecordButton() const { return m_record; }
    QPushButton* PreviewButton() const { return m_preview; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* ListCancelButton() const { return m_listCancel; }
    // The list with its "OK" and "Cancel"; shown by "Preview".
    QWidget* ListPart() const { return m_lower; }

private:
    void Preview();
    void Take(int code);
    void TakeList();
    // The series of the start and end fields; false (after telling the user
    // why) when they do not make one.
    bool ExpandFields(QStringList* lines);
    void AppendLines(const QStringList& lines);
    // The list's lines up to the first empty one into the result; false
    // (after telling the user) when a line is too long to be an address.
    bool Collect();
    void Remember(const QString& start);

    ProfileStore& m_profile;
    RecentStartUrls m_recent;
    QStringList m_result;
    QComboBox* m_start;
    QLineEdit* m_end;
    QPlainTextEdit* m_list;
    QWidget* m_lower;
    QPushButton* m_play;
    QPushButton* m_record;
    QPushButton* m_preview;
    QPushButton* m_cancel;
    QPushButton* m_ok;
    QPushButton* m_listCancel;
};

}  // namespace tapewell::gui
