#include "player/MediaPlayer.h"

#include <algorithm>

namespace tapewell {
namespace {

// The volume scale in hundredths of a decibel: 5000 steps down from full
// volume, with 0 as silence rather than -50 dB.
long ToHundredthsOfDb(int volume) {
    return volume <= 0 ? GstPlayer::kSilence : std::min(volume, MediaPlayer::kMaxVolume) - 5000L;
}

int FromHundredthsOfDb(long level) {
    return level < -4999 ? 0 : static_cast<int>(level + 5000);
}

}  // namespace

MediaPlayer::MediaPlayer() = default;
MediaPlayer::~MediaPlayer() = default;

GstPlayer& MediaPlayer::StoppedBackend() {
    if (!m_player) {
        m_player = std::make_unique<GstPlayer>();
    }
    m_player->Stop();
    return *m_player;
}

bool MediaPlayer::Open(const std::string& address) {
    return StoppedBackend().Open(address);
}

bool MediaPlayer::OpenAsync(const std::string& address) {
    return StoppedBackend().OpenAsync(address);
}

bool MediaPlayer::OpenFeed(std::shared_ptr<GrowingFileFeed> feed) {
    return StoppedBackend().OpenFeed(std::move(feed));
}

bool MediaPlayer::CanSeek() const {
    GstPlayer* p = OpenBackend();
    return p && !p->IsFeed();
}

void MediaPlayer::Close() {
    if (m_player) {
        m_player->Stop();
        m_player->Close();
        m_player.reset();
    }
}

bool MediaPlayer::Play() {
    GstPlayer* p = OpenBackend();
    return p && p->Play();
}

bool MediaPlayer::Pause() {
    GstPlayer* p = OpenBackend();
    return p && p->Pause();
}

bool MediaPlayer::Stop() {
    // Not only when open: Stop also cancels an open that is pending.
    return m_player && m_player->Stop();
}

int MediaPlayer::GetDuration() const {
    GstPlayer* p = OpenBackend();
    return p ? static_cast<int>(p->GetDuration()) : 0;
}

int MediaPlayer::GetPosition() const {
    GstPlayer* p = OpenBackend();
    return p ? static_cast<int>(p->GetPosition()) : 0;
}

bool MediaPlayer::Seek(int seconds) {
    GstPlayer* p = OpenBackend();
    return p && p->Seek(seconds);
}

int MediaPlayer::PollEvent(long* param1, long* param2) {
    // Also while opening, whose outcome comes this way.
    return m_player ? m_player->PollEvent(param1, param2) : GstPlayer::kNoEvent;
}

int MediaPlayer::GetVolume() const {
    GstPlayer* p = OpenBackend();
    long level = GstPlayer::kSilence;
    if (!p) {
        return 0;
    }
    if (m_muted) {
        return m_volume;
    }
    return p->GetVolume(&level) ? FromHundredthsOfDb(level) : 0;
}

void MediaPlayer::SetVolume(int volume) {
    m_volume = std::clamp(volume, 0, kMaxVolume);
    GstPlayer* p = OpenBackend();
    if (p && !m_muted) {
        p->SetVolume(ToHundredthsOfDb(m_volume));
    }
}

void MediaPlayer::SetMute(bool on) {
    m_muted = on;
    if (GstPlayer* p = OpenBackend()) {
        p->SetVolume(on ? GstPlayer::kSilence : ToHundredthsOfDb(m_volume));
    }
}

double MediaPlayer::GetRate() const {
    GstPlayer* p = OpenBackend();
    return p ? p->GetRate() : 0.0;
}

bool MediaPlayer::SetRate(double rate) {
    GstPlayer* p = OpenBackend();
    return p && p->SetRate(rate);
}

bool MediaPlayer::RateUp() {
    GstPlayer* p = OpenBackend();
    return p && p->RateUp();
}

bool MediaPlayer::RateDown() {
    GstPlayer* p = OpenBackend();
    return p && p->RateDown();
}

bool MediaPlayer::IsAudioOnly() const {
    GstPlayer* p = OpenBackend();
    return !p || p->IsAudioOnly();
}

int MediaPlayer::GetVideoWidth() const {
    GstPlayer* p = OpenBackend();
    return p ? p->GetVideoWidth() : 0;
}

int MediaPlayer::GetVideoHeight() const {
    GstPlayer* p = OpenBackend();
    return p ? p->GetVideoHeight() : 0;
}

bool MediaPlayer::IsOpen() const {
    return OpenBackend() != nullptr;
}

bool MediaPlayer::HasCaptionGraph() const {
    GstPlayer* p = OpenBackend();
    return p && p->HasCaptionGraph();
}

bool MediaPlayer::GetCaptionText(std::string* text) {
    GstPlayer* p = OpenBackend();
    return p && p->GetCaptionText(text);
}

bool MediaPlayer::SaveCurrentImage(const std::filesystem::path& path) const {
    GstPlayer* p = OpenBackend();
    return p && p->SaveCurrentImage(path);
}

}  // namespace tapewell
