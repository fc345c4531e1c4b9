#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "player/GrowingFileFeed.h"

typedef struct _GstElement GstElement;

namespace tapewell {

// Pushes a GrowingFileFeed's bytes into playbin's appsrc from a thread of
// its own, then the end of the stream. The source is a byte stream of
// unknown size that blocks the pump while its queue is full, so the pump
// runs only as far ahead of playback as limits::kFeedQueueBytes. A read
// error becomes the pipeline's error, with the feed's text.
//
// Threads: Attach comes from playbin's source-setup (the thread that
// changes the pipeline's state); Cancel and Join from the player's thread.
class FeedPump {
public:
    explicit FeedPump(std::shared_ptr<GrowingFileFeed> feed) : m_feed(std::move(feed)) {}
    ~FeedPump();
    FeedPump(const FeedPump&) = delete;
    FeedPump& operator=(const FeedPump&) = delete;

    // Sets the source up and starts pumping into it (once; not after Cancel).
    void Attach(GstElement* appsrc);
    // Ends the feed's waits; a push blocked on a full queue ends when the
    // pipeline goes back to NULL, which the caller does before Join.
    void Cancel();
    void Join();

private:
    void Run();

    std::shared_ptr<GrowingFileFeed> m_feed;
    std::mutex m_mutex;  // guards the thread's start against Cancel and Join
    bool m_cancelled = false;
    GstElement* m_source = nullptr;  // our reference
    std::thread m_thread;
};

}  // namespace tapewell
