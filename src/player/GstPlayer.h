#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "player/VideoFrame.h"

namespace tapewell {

class GrowingFileFeed;

// Plays one address at a time through GStreamer's playbin: a local file or a
// plain http:// download. Pictures go into an app sink and reach the frame
// callback as packed 24-bit rows; sound goes to the system's audio sink, or
// to the sink element named by TAPEWELL_AUDIO_SINK (the tests use
// "fakesink"); captions come from the SAMI file beside a local media file
// (CaptionPathFor), else from the media's own subtitle track, through a text
// app sink into a queue that GetCaptionText takes from.
//
// All operations are for one thread (the window's, or the CLI's main thread).
// The frame callback and the caption notice are called on GStreamer's
// streaming threads, with no lock of the player held: a callback may wait
// for the player's thread, except while that thread removes it.
class GstPlayer {
public:
    // Where the player is, as GetState reports it.
    enum State : int {
        kNothing = 0,  // never opened
        kOpening = 1,  // an open is pending, or it failed
        kOpened = 2,
        kClosed = 3,
        kStopped = 4,
        kPaused = 5,
        kRunning = 6,
    };

    // PollEvent's codes.
    static constexpr int kNoEvent = -1;
    static constexpr int kEventComplete = 1;    // end of stream
    static constexpr int kEventErrorAbort = 3;  // an error stopped playback (LastError says which)
    static constexpr int kEventOpening = 16;    // buffering while opening; param1 percent
    static constexpr int kEventBuffering = 17;  // buffering while playing; param1 percent
    // OpenAsync's media is ready (kOpened). Taken from the range DirectShow
    // leaves to applications, so that it never meets one of its own codes.
    static constexpr int kEventOpened = 0x8001;

    // Volume in hundredths of a decibel: 0 is full volume, -10000 silence.
    static constexpr long kSilence = -10000;

    struct OpenOptions {
        // False plays as fast as the media decodes (for snapshots), not in
        // real time.
        bool clocked = true;
        // False leaves the sound out.
        bool audio = true;
        // False leaves captions out (a caption track also paces unclocked
        // playback to real time).
        bool captions = true;
    };

    // Called on a streaming thread with each decoded picture while playing.
    using FrameCallback = std::function<void(const VideoFrame& frame)>;
    // Called on a streaming thread when a caption has arrived for
    // GetCaptionText; it should only wake the thread that takes it.
    using CaptionNotice = std::function<void()>;

    GstPlayer();
    ~GstPlayer();
    GstPlayer(const GstPlayer&) = delete;
    GstPlayer& operator=(const GstPlayer&) = delete;

    // Closes what was open (which removes the frame callback), then opens the
    // address and waits (bounded) until its first picture and sound are ready. On failure nothing
    // stays open, the state stays kOpening and LastError says why.
    bool Open(const std::string& address, const OpenOptions& options);
    bool Open(const std::string& address) { return Open(address, OpenOptions()); }
    // Closes what was open, starts opening the address and returns without
    // waiting. PollEvent then yields kEventOpened, or kEventErrorAbort when
    // the open failed (nothing stays open, the state stays kOpening and
    // LastError says why). False when the open cannot start at all: no
    // GStreamer, or an address nothing can read. While the open is pending,
    // Play, Pause, Seek and SetRate are refused; Stop and Close cancel it, as
    // another open does, and a cancelled open reports nothing more.
    bool OpenAsync(const std::string& address, const OpenOptions& options);
    bool OpenAsync(const std::string& address) { return OpenAsync(address, OpenOptions()); }
    // As OpenAsync, for the bytes of a file that may still be growing (a
    // recording in progress, the cache file of a stream that plays through
    // the engines): the media is read as a stream of unknown length, so
    // Seek and SetRate are refused, and it ends when the feed does. The
    // duration is the one the media's header gives (0 for a broadcast).
    // Close cancels the feed. The feed's path names the caption file.
    bool OpenFeed(std::shared_ptr<GrowingFileFeed> feed, const OpenOptions& options);
    bool OpenFeed(std::shared_ptr<GrowingFileFeed> feed) {
        return OpenFeed(std::move(feed), OpenOptions());
    }
    // Whether the open media comes from a feed (and cannot seek).
    bool IsFeed() const;
    void Close();
    // Opened and not closed since; false while an open is pending.
    bool IsOpen() const;
    bool IsOpening() const;
    // Whether captions come with the media (a SAMI file or a subtitle track).
    bool HasCaptionGraph() const;
    int GetState() const;
    std::string LastError() const;

    bool Play();
    bool Pause();
    // Stops playback and keeps the position (the caller seeks to 0 to rewind).
    // While an open is pending, cancels it as Close does.
    bool Stop();

    // Seconds; 0 when nothing is open or the value is not known.
    double GetDuration() const;
    double GetPosition() const;
    // Refused past the duration; the position then stays.
    bool Seek(double seconds);

    // The next event without waiting, or kNoEvent. Taking the
    // kEventErrorAbort of a failed OpenAsync lets its pipeline go.
    int PollEvent(long* param1, long* param2);

    bool GetVolume(long* hundredthsOfDb) const;
    bool SetVolume(long hundredthsOfDb);

    double GetRate() const { return IsOpen() ? m_rate : 0.0; }
    // A rate the media refuses (0, or backwards where the format cannot)
    // leaves the rate as it was.
    bool SetRate(double rate);
    bool RateUp() { return SetRate(m_rate + 1.0); }
    bool RateDown() { return SetRate(m_rate - 1.0); }

    // True when nothing is open or the media has no picture.
    bool IsAudioOnly() const;
    int GetVideoWidth() const;
    int GetVideoHeight() const;
    bool GetVideoInfo(VideoInfo* info) const;

    // Takes the next caption text (as the media gives it, markup included),
    // waiting at most kCaptionWaitMs.
    bool GetCaptionText(std::string* text);
    // Installs the notice for captions that arrive from now on and returns
    // at once; a call of the previous notice may still be running. An empty
    // notice removes it as RemoveFrameCallback removes the frame callback.
    void SetCaptionNotice(CaptionNotice notice);

    // Installs the callback for the frames that follow and returns at once,
    // without waiting for a call of the previous callback that is in flight
    // (which keeps that callback alive until it returns). An empty callback
    // removes it, as RemoveFrameCallback does.
    void SetFrameCallback(FrameCallback callback);
    // Returns once every call in flight has returned, so the caller may free
    // what the callback uses; no call starts after. Never call it from inside
    // the callback, nor while the callback waits for the calling thread.
    void RemoveFrameCallback() { SetFrameCallback(nullptr); }

    // Writes the picture last shown as a 24-bit BMP file.
    bool SaveCurrentImage(const std::filesystem::path& path) const;

    // The GStreamer objects of the open media, and what the streaming
    // threads share with the caller's thread.
    struct Pipeline;
    struct Shared;

private:
    // Readies the shared state for a new open and lets the old one go.
    void BeginOpen();
    bool StartOpen(const std::string& address, const OpenOptions& options,
                   std::shared_ptr<GrowingFileFeed> feed);
    bool WaitUntilOpen();
    // Lets the pipeline go and forgets its events and captions; the state is
    // left to the caller.
    void DropPipeline();
    bool SeekTo(int64_t positionNs, double rate);
    // Moves playbin to target and reports `reached` when it takes the change.
    bool ChangeState(int target, State reached);

    std::unique_ptr<Shared> m_shared;
    std::unique_ptr<Pipeline> m_pipeline;
    double m_rate = 1.0;
};

}  // namespace tapewell
