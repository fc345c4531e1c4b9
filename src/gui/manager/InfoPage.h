#pragma once

#include <QWidget>

class QLabel;

namespace tapewell {
class AsfInfo;
}

namespace tapewell::gui {

// "File Info": what the ASF header says about the open file.
class InfoPage : public QWidget {
    Q_OBJECT
public:
    // The value fields, top to bottom.
    enum Field {
        kTitle,
        kAuthor,
        kCopyright,
        kDescription,
        kSizeTime,
        kBitrate,
        kVideoSize,
        kAudioFormat,
        kVideoCodec,
        kAudioCodec,
        kPath,
        kFieldCount
    };

    explicit InfoPage(QWidget* parent = nullptr);

    void Fill(const AsfInfo& info);
    void Clear();
    QString Text(Field field) const;

private:
    QLabel* m_values[kFieldCount];
};

}  // namespace tapewell::gui
