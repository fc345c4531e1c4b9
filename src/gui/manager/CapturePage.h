#pragma once

#include <QImage>
#include <QWidget>

#include <filesystem>
#include <memory>

#include "player/FrameSnapshot.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tapewell::gui {

class PreviewControl;
class PreviewStrip;

// "Save Image": pictures of the preview as 24-bit BMP files. Capture Start
// takes M pictures every N seconds of the playing video through a
// FrameSnapshot that the preview's frame callback feeds (previews only, or
// saved as well); Capture saves the picture on screen; Delete All removes
// this base name's pictures after asking.
//
// The snapshot runs on the player's streaming thread. It scales each frame
// it takes to the strip's slot size there and posts the small image to the
// page; it never touches a widget.
class CapturePage : public QWidget {
    Q_OBJECT
public:
    CapturePage(PreviewControl& preview, QWidget* parent = nullptr);
    ~CapturePage() override;

    // A file was opened: the folder becomes "<base folder>/save" (created),
    // the base name the file's name without its extension.
    void Setup(const std::filesystem::path& source, const std::filesystem::path& baseFolder);
    void StartCapture();
    // Ends a capture; returns once no frame is being handed to it.
    void StopCapture();
    void CaptureOne();
    void DeleteAll();
    bool IsCapturing() const { return m_snapshot != nullptr; }

    std::filesystem::path Folder() const;
    QString BaseName() const;

    QLineEdit* FolderEdit() const { return m_folder; }
    QLineEdit* BaseEdit() const { return m_base; }
    QSpinBox* SecondsSpin() const { return m_seconds; }
    QSpinBox* PicturesSpin() const { return m_pictures; }
    QCheckBox* PreviewOnlyBox() const { return m_previewOnly; }
    QPushButton* StartButton() const { return m_start; }
    QPushButton* StopButton() const { return m_stop; }
    QPushButton* CaptureButton() const { return m_capture; }
    QPushButton* DeleteAllButton() const { return m_deleteAll; }
    PreviewStrip* Strip() const { return m_strip; }
    // The last picture file written ("" before the first).
    QLabel* LastFileLabel() const { return m_lastFile; }

private:
    QWidget* BuildFields();
    void BrowseFolder();
    void OnTaken(int slot, const QImage& image, const QString& label, bool saved,
                 const QString& file);
    void UpdateButtons();

    PreviewControl& m_preview;
    std::unique_ptr<FrameSnapshot> m_snapshot;

    QLineEdit* m_folder;
    QPushButton* m_browse;
    QLineEdit* m_base;
    QSpinBox* m_seconds;
    QSpinBox* m_pictures;
    QCheckBox* m_previewOnly;
    QPushButton* m_start;
    QPushButton* m_stop;
    QPushButton* m_capture;
    QPushButton* m_deleteAll;
    PreviewStrip* m_strip;
    QLabel* m_lastFile;
};

}  // namespace tapewell::gui
