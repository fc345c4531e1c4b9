#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "player/GstPlayer.h"

namespace tapewell {

// The playback front every window talks to. Every address plays through
// GStreamer (GstPlayer, made on first use and kept across opens); the front
// adds the 0-5000 volume scale and mute on top of the back end's decibels.
// Times are whole seconds here. Each operation does nothing and returns 0
// (false, an empty value) while no media is open.
//
// All operations are for one thread; see GstPlayer for the callbacks'.
class MediaPlayer {
public:
    static constexpr int kMaxVolume = 5000;

    MediaPlayer();
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // Stops and closes what was playing, then opens the address.
    bool Open(const std::string& address);
    // As Open, without waiting: see GstPlayer::OpenAsync. PollEvent yields
    // the outcome; until then the media does not count as open, so the
    // operations below do nothing, except Stop and Close, which cancel.
    bool OpenAsync(const std::string& address);
    // As OpenAsync, for a growing file: see GstPlayer::OpenFeed.
    bool OpenFeed(std::shared_ptr<GrowingFileFeed> feed);
    // Whether the open media is a feed, which refuses seeks.
    bool CanSeek() const;
    // Stops, closes and lets the back end go.
    void Close();

    bool Play();
    bool Pause();
    bool Stop();
    int GetDuration() const;
    int GetPosition() const;
    bool Seek(int seconds);
    int PollEvent(long* param1, long* param2);

    // 0-5000: 5000 is full volume, each step below a hundredth of a decibel
    // softer, 0 silence. While muted, the value set last.
    int GetVolume() const;
    void SetVolume(int volume);
    void SetMute(bool on);
    bool IsMuted() const { return m_muted; }

    double GetRate() const;
    bool SetRate(double rate);
    bool RateUp();
    bool RateDown();

    bool IsAudioOnly() const;
    int GetVideoWidth() const;
    int GetVideoHeight() const;
    bool IsOpen() const;
    bool HasCaptionGraph() const;
    bool GetCaptionText(std::string* text);
    bool SaveCurrentImage(const std::filesystem::path& path) const;

    // The back end of the open media, for frames, captions' notice and the
    // error text; nullptr before the first Open.
    GstPlayer* Backend() { return m_player.get(); }

private:
    // The back end, made on first use, with what it played stopped.
    GstPlayer& StoppedBackend();
    // The back end when media is open, else nullptr.
    GstPlayer* OpenBackend() const {
        return m_player && m_player->IsOpen() ? m_player.get() : nullptr;
    }

    std::unique_ptr<GstPlayer> m_player;
    int m_volume = kMaxVolume;
    bool m_muted = false;
};

}  // namespace tapewell
