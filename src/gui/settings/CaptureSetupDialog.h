#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

#include "capture/PcapSource.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace tapewell {
class AppSettings;
class ProfileStore;
}  // namespace tapewell

namespace tapewell::gui {

// "Select Adapter": shown each time URL capture starts. The user picks the
// device to capture on, the protocols to watch and the file types an HTTP
// request must name. OK writes the choices into the live settings and saves
// them at once (the command-line capture takes the remembered adapter as its
// default device); Cancel leaves the settings as they were.
class CaptureSetupDialog : public QDialog {
    Q_OBJECT
public:
    // adapters: the devices to offer, in order; the caller has kept only
    // those that are up and running. settings and profile must outlive the
    // dialog.
    CaptureSetupDialog(std::vector<CaptureAdapter> adapters, AppSettings& settings,
                       ProfileStore& profile, QWidget* parent = nullptr);

    // After OK: the adapter chosen (the first when none was selected), or -1
    // and "" when there was none to choose.
    int ChosenIndex() const { return m_chosen; }
    std::string ChosenDevice() const;

    QListWidget* AdapterList() const { return m_adapterList; }
    QCheckBox* SaveCheck() const { return m_save; }
    QTreeWidget* FileTypeList() const { return m_fileTypes; }
    QLineEdit* FileTypeEdit() const { return m_newType; }
    QPushButton* InsertButton() const { return m_insert; }
    QPushButton* DeleteButton() const { return m_delete; }
    QCheckBox* HttpCheck() const { return m_http; }
    QCheckBox* MmsCheck() const { return m_mms; }
    QCheckBox* RtspCheck() const { return m_rtsp; }
    // Says why the last "Insert" was refused; hidden otherwise.
    QLabel* RefusalLabel() const { return m_refusal; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

    // The file type list's entries, in order.
    std::vector<std::string> FileTypes() const;

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillAdapters(const std::string& stored);
    void InsertType();
    void DeleteTypes();
    void Refuse(const QString& reason);

    std::vector<CaptureAdapter> m_adapters;
    AppSettings& m_settings;
    ProfileStore& m_profile;
    int m_chosen = -1;
    QListWidget* m_adapterList;
    QCheckBox* m_save;
    QTreeWidget* m_fileTypes;
    QLineEdit* m_newType;
    QPushButton* m_insert;
    QPushButton* m_delete;
    QCheckBox* m_http;
    QCheckBox* m_mms;
    QCheckBox* m_rtsp;
    QLabel* m_refusal;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

}  // namespace tapewell::gui
