#include "gui/manager/InfoPage.h"

#include <QFormLayout>
#include <QLabel>

#include "asf/AsfInfo.h"
#include "common/SizeTimeText.h"
#include "gui/manager/PreviewControl.h"

namespace tapewell::gui {
namespace {

constexpr int kStereoChannels = 2;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

InfoPage::InfoPage(QWidget* parent) : QWidget(parent) {
    setObjectName("infoPage");
    const QString names[kFieldCount] = {
        tr("Title:"),       tr("Author:"),      tr("Copyright:"),  tr("Description:"),
        tr("Size - Time:"), tr("Bitrate:"),     tr("Video size:"), tr("Audio:"),
        tr("Video codec:"), tr("Audio codec:"), tr("File:"),
    };
    auto* form = new QFormLayout(this);
    for (int field = 0; field < kFieldCount; ++field) {
        m_values[field] = new QLabel(this);
        m_values[field]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_values[field]->setTextFormat(Qt::PlainText);
        m_values[field]->setWordWrap(true);
        form->addRow(names[field], m_values[field]);
    }
}

void InfoPage::Fill(const AsfInfo& info) {
    Clear();
    const ContentDescription& content = info.GetContent();
    m_values[kTitle]->setText(Q(content.title));
    m_values[kAuthor]->setText(Q(content.author));
    m_values[kCopyright]->setText(Q(content.copyright));
    m_values[kDescription]->setText(Q(content.description));
    m_values[kSizeTime]->setText(QStringLiteral("%1 - %2").arg(
        Q(FormatSize(info.GetFileSize())), Q(FormatTime(info.GetDurationSeconds()))));
    m_values[kBitrate]->setText(tr("%1Kbps").arg(info.GetFileProperties().maxBitrate / 1024));
    const BitmapInfoHeader& video = info.GetVideoFormat();
    m_values[kVideoSize]->setText(
        QStringLiteral("%1 x %2 (%3)").arg(video.width).arg(video.height).arg(video.bitCount));
    const WaveFormat& audio = info.GetAudioFormat();
    m_values[kAudioFormat]->setText(
        tr("%1 kHz %2bit %3")
            .arg(audio.samplesPerSecond / 1000)
            .arg(audio.bitsPerSample)
            .arg(audio.channels == kStereoChannels ? tr("Stereo") : tr("Mono")));
    if (!info.GetVideoCodecs().empty()) {
        m_values[kVideoCodec]->setText(Q(info.GetVideoCodecs().front()));
    }
    if (!info.GetAudioCodecs().empty()) {
        m_values[kAudioCodec]->setText(Q(info.GetAudioCodecs().front()));
    }
    m_values[kPath]->setText(PathText(info.GetPath()));
}

void InfoPage::Clear() {
    for (QLabel* value : m_values) {
        value->clear();
    }
}

QString InfoPage::Text(Field field) const {
    return m_values[field]->text();
}

}  // namespace tapewell::gui
