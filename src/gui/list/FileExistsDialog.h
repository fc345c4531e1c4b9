#pragma once

#include <QDialog>
#include <QString>

#include "engine/JobPrompt.h"

class QCheckBox;
class QPushButton;

namespace tapewell::gui {

// The question a recording asks when its output file exists and cannot be
// continued: "%1 \n\n File exist. Overwrite?" with "Ok" (overwrite),
// "Cancel", "Save As ...", "Pass" and "Quit", and the check box "All",
// which with "Pass" skips every later existing file. Cancel is the default
// button: Enter does not overwrite a recording.
class FileExistsDialog : public QDialog {
    Q_OBJECT
public:
    // The codes the dialog ends with besides Accepted ("Ok") and Rejected
    // ("Cancel"; also Escape and closing the window).
    static constexpr int kSaveAs = 234;
    static constexpr int kPass = 434;
    static constexpr int kQuit = 435;

    explicit FileExistsDialog(const QString& path, QWidget* parent = nullptr);

    // The answer a result code stands for; "All" counts with "Pass" only.
    JobPrompt::ExistsChoice Choice(int result) const;

    QPushButton* Button(JobPrompt::ExistsAnswer answer) const;
    QCheckBox* AllBox() const { return m_all; }

private:
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QPushButton* m_saveAs;
    QPushButton* m_pass;
    QPushButton* m_quit;
    QCheckBox* m_all;
};

}  // namespace tapewell::gui
