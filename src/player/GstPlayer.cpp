#include "player/GstPlayer.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "common/ByteSource.h"
#include "common/Limits.h"
#include "player/BmpFile.h"
#include "player/CallbackSlot.h"
#include "player/FeedPump.h"
#include "player/GrowingFileFeed.h"
#include "player/LrcTrack.h"
#include "player/SamiReader.h"

namespace tapewell {

struct GstPlayer::Shared {
    std::atomic<int> state{kNothing};
    std::atomic<int64_t> lastFrameNs{-1};
    std::atomic<int64_t> frameDurationNs{0};

    CallbackSlot<FrameCallback> frameCallback;
    CallbackSlot<CaptionNotice> captionNotice;

    std::mutex mutex;  // guards what follows
    std::condition_variable changed;
    struct Event {
        int code;
        long param1;
    };
    std::deque<Event> events;
    std::deque<std::string> captions;
    std::string lastError;
    bool prerolled = false;
    bool failed = false;
    // Counts opens and closes; a bus message from a pipeline whose serial
    // has passed is dropped, so a cancelled open reports nothing more.
    uint64_t serial = 0;
};

struct GstPlayer::Pipeline {
    GstElement* playbin = nullptr;
    GstElement* videoSink = nullptr;     // owned by playbin
    std::filesystem::path captionTrack;  // our copy of the SAMI cues, removed at close
    bool hasCaptionTrack = false;
    std::unique_ptr<FeedPump> pump;  // only when playing a feed

    Pipeline() = default;
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;
    ~Pipeline() {
        if (pump) {
            pump->Cancel();
        }
        if (playbin) {
            // Back to NULL stops every streaming thread before the sinks go,
            // and ends a push of the pump that waits on a full queue.
            gst_element_set_state(playbin, GST_STATE_NULL);
        }
        if (pump) {
            pump->Join();
        }
        if (playbin) {
            gst_object_unref(playbin);
        }
        if (!captionTrack.empty()) {
            std::error_code ec;
            std::filesystem::remove(captionTrack, ec);
        }
    }
};

namespace {

using Shared = GstPlayer::Shared;

// playbin's GstPlayFlags bits for sound and subtitles.
constexpr guint kPlayFlagAudio = 1u << 1;
constexpr guint kPlayFlagText = 1u << 2;

bool InitGstreamer() {
    static const bool ok = [] {
        GError* error = nullptr;
        bool done = gst_init_check(nullptr, nullptr, &error);
        if (error) {
            g_error_free(error);
        }
        return done;
    }();
    return ok;
}

// What the bus handler of one pipeline knows: whom to tell, and which open
// the pipeline belongs to.
struct BusContext {
    Shared* shared;
    uint64_t serial;
};

// Keeps the first error: GStreamer follows the one that says what went wrong
// with generic ones from the elements that stopped because of it. With
// shared.mutex held.
void SetErrorLocked(Shared& shared, std::string text) {
    if (shared.lastError.empty()) {
        shared.lastError = std::move(text);
    }
    shared.failed = true;
    shared.changed.notify_all();
}

void SetError(Shared& shared, std::string text) {
    std::lock_guard lock(shared.mutex);
    SetErrorLocked(shared, std::move(text));
}

// Queues an event for PollEvent, with shared.mutex held. Buffering reports
// replace the one before them, so that a window that polls slowly sees the
// latest percentage.
void PushEventLocked(Shared& shared, int code, long param1) {
    if (!shared.events.empty() && shared.events.back().code == code &&
        (code == GstPlayer::kEventOpening || code == GstPlayer::kEventBuffering)) {
        shared.events.back().param1 = param1;
        return;
    }
    if (shared.events.size() >= limits::kMaxQueuedPlayerEvents) {
        shared.events.pop_front();
    }
    shared.events.push_back({code, param1});
}

// Every sink has its first buffer. The first time while opening, the open
// is done; later ones follow seeks. With shared.mutex held.
void NotePrerolled(Shared& shared) {
    shared.prerolled = true;
    int opening = GstPlayer::kOpening;
    if (!shared.failed && shared.state.compare_exchange_strong(opening, GstPlayer::kOpened)) {
        PushEventLocked(shared, GstPlayer::kEventOpened, 0);
    }
    shared.changed.notify_all();
}

// On the thread that posts the message: turns what the window needs into
// events and drops everything, so that nothing piles up on the bus.
GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    const auto& bus = *static_cast<const BusContext*>(data);
    Shared& shared = *bus.shared;
    std::lock_guard lock(shared.mutex);
    if (bus.serial != shared.serial) {
        return GST_BUS_DROP;
    }
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS:
            PushEventLocked(shared, GstPlayer::kEventComplete, 0);
            break;
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            SetErrorLocked(shared, error ? error->message : "playback error");
            g_clear_error(&error);
            PushEventLocked(shared, GstPlayer::kEventErrorAbort, 0);
            break;
        }
        case GST_MESSAGE_BUFFERING: {
            gint percent = 0;
            gst_message_parse_buffering(message, &percent);
            PushEventLocked(shared,
                            shared.state == GstPlayer::kOpening ? GstPlayer::kEventOpening
                                                                : GstPlayer::kEventBuffering,
                            percent);
            break;
        }
        case GST_MESSAGE_ASYNC_DONE:
            // Only the pipeline itself posts this on the bus.
            NotePrerolled(shared);
            break;
        default:
            break;
    }
    return GST_BUS_DROP;
}

void FreeBusContext(gpointer data) {
    delete static_cast<BusContext*>(data);
}

// The sample's time in the media: its buffer's time stamp through the
// segment. The decoders' frame rates are not trusted (the WMV decoder
// announces 25 frames a second whatever the stream has), only time stamps.
int64_t StreamTimeNs(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstSegment* segment = gst_sample_get_segment(sample);
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer)) {
        return -1;
    }
    guint64 time = GST_BUFFER_PTS(buffer);
    if (segment && segment->format == GST_FORMAT_TIME) {
        time = gst_segment_to_stream_time(segment, GST_FORMAT_TIME, time);
    }
    return GST_CLOCK_TIME_IS_VALID(time) ? static_cast<int64_t>(time) : -1;
}

// Maps a BGR sample and hands it to fn as a VideoFrame, rows as GStreamer
// laid them out (its stride, not width × 3).
template <class Fn>
bool WithFrame(GstSample* sample, int64_t timeNs, Fn&& fn) {
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) {
        return false;
    }
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) {
        return false;
    }
    VideoFrame frame;
    frame.timeNs = timeNs;
    frame.width = GST_VIDEO_FRAME_WIDTH(&mapped);
    frame.height = GST_VIDEO_FRAME_HEIGHT(&mapped);
    frame.stride = static_cast<size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0));
    const auto* data = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
    const auto* mapStart = static_cast<const uint8_t*>(mapped.map[0].data);
    size_t available = mapped.map[0].size - static_cast<size_t>(data - mapStart);
    frame.pixels = {data, std::min(available, frame.stride * static_cast<size_t>(frame.height))};
    fn(frame);
    gst_video_frame_unmap(&mapped);
    return true;
}

void NoteFrameTime(Shared& shared, int64_t timeNs) {
    int64_t previous = shared.lastFrameNs.exchange(timeNs);
    if (previous >= 0 && timeNs > previous) {
        shared.frameDurationNs = timeNs - previous;
    }
}

// Streaming thread: one decoded picture.
GstFlowReturn OnVideoSample(GstAppSink* sink, gpointer data) {
    auto& shared = *static_cast<Shared*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) {
        return GST_FLOW_OK;
    }
    int64_t timeNs = StreamTimeNs(sample);
    if (timeNs >= 0) {
        NoteFrameTime(shared, timeNs);
        shared.frameCallback.CallWith(
            [&](const GstPlayer::FrameCallback& callback) { WithFrame(sample, timeNs, callback); });
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

// Streaming thread: one caption, queued for GetCaptionText.
GstFlowReturn OnTextSample(GstAppSink* sink, gpointer data) {
    auto& shared = *static_cast<Shared*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) {
        return GST_FLOW_OK;
    }
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        std::string text(reinterpret_cast<const char*>(map.data), map.size);
        gst_buffer_unmap(buffer, &map);
        text.erase(std::min(text.size(), text.find('\0')));
        {
            std::lock_guard lock(shared.mutex);
            if (shared.captions.size() >= limits::kMaxQueuedCaptions) {
                shared.captions.pop_front();
            }
            shared.captions.push_back(std::move(text));
            shared.changed.notify_all();
        }
        shared.captionNotice.CallWith([](const GstPlayer::CaptionNotice& notice) { notice(); });
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstElement* MakeAppSink(const char* name, const char* caps, bool clocked, Shared& shared,
                        GstFlowReturn (*onSample)(GstAppSink*, gpointer)) {
    GstElement* sink = gst_element_factory_make("appsink", name);
    if (!sink) {
        return nullptr;
    }
    GstCaps* sinkCaps = gst_caps_from_string(caps);
    g_object_set(sink, "caps", sinkCaps, "sync", clocked, "enable-last-sample", TRUE, nullptr);
    gst_caps_unref(sinkCaps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &shared, nullptr);
    return sink;
}

// The sink named by TAPEWELL_AUDIO_SINK, or nullptr for playbin's own
// choice. False when the named element does not exist.
bool MakeAudioSink(bool clocked, GstElement** sink, std::string* error) {
    *sink = nullptr;
    const char* name = std::getenv("TAPEWELL_AUDIO_SINK");
    if (!name || !*name) {
        return true;
    }
    *sink = gst_element_factory_make(name, nullptr);
    if (!*sink) {
        *error = std::string("no GStreamer audio sink named '") + name + "'";
        return false;
    }
    // A sink that does not wait for the clock would let sound-only media
    // run ahead of real time.
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(*sink), "sync")) {
        g_object_set(*sink, "sync", clocked, nullptr);
    }
    return true;
}

// The URI for an address, and the local file it names, if any. An address
// without a scheme is a path, relative to the working folder; a blank one
// names nothing (not the working folder).
std::string ToUri(const std::string& address, std::filesystem::path* localFile) {
    std::string trimmed =
        address.substr(std::min(address.size(), address.find_first_not_of(" \t")));
    if (trimmed.empty()) {
        return "";
    }
    if (gst_uri_is_valid(trimmed.c_str())) {
        if (gchar* file = gst_uri_get_protocol(trimmed.c_str())) {
            bool isFile = g_ascii_strcasecmp(file, "file") == 0;
            g_free(file);
            if (gchar* path =
                    isFile ? g_filename_from_uri(trimmed.c_str(), nullptr, nullptr) : nullptr) {
                *localFile = path;
                g_free(path);
            }
        }
        return trimmed;
    }
    std::error_code ec;
    *localFile = std::filesystem::absolute(trimmed, ec);
    gchar* uri = gst_filename_to_uri(localFile->c_str(), nullptr);
    std::string result = uri ? uri : "";
    g_free(uri);
    return result;
}

// Whether some installed source element reads the URI's scheme: an address
// nothing reads fails before a pipeline is built for it.
bool Readable(const std::string& uri, std::string* error) {
    gchar* scheme = uri.empty() ? nullptr : gst_uri_get_protocol(uri.c_str());
    bool readable = scheme && gst_uri_protocol_is_supported(GST_URI_SRC, scheme);
    if (!scheme) {
        *error = "not an address or a file name";
    } else if (!readable) {
        *error = std::string("no GStreamer source reads '") + scheme + "' addresses";
    }
    g_free(scheme);
    return readable;
}

// Hands playbin the cues of the SAMI file beside a local media file as a
// timed-text track of our own (see LrcTrack). False when there is none.
bool SetUpCaptionTrack(GstPlayer::Pipeline& pipeline, const std::filesystem::path& media) {
    auto file = FileSource::Open(CaptionPathFor(media.string()));
    if (!file) {
        return false;
    }
    std::vector<uint8_t> bytes(std::min<uint64_t>(file->Size(), limits::kMaxSamiFileBytes));
    bytes.resize(file->ReadAt(0, bytes));
    std::vector<CaptionCue> cues = ReadSami(bytes);
    std::error_code ec;
    auto folder = std::filesystem::temp_directory_path(ec);
    if (cues.empty() || ec) {
        return false;
    }
    std::string path = (folder / "tapewell-captions-XXXXXX.lrc").string();
    int fd = mkstemps(path.data(), 4);
    if (fd < 0) {
        return false;
    }
    close(fd);
    pipeline.captionTrack = path;
    std::string track = LrcTrack(cues);
    if (!WriteWholeFile(path, {track.begin(), track.end()})) {
        return false;
    }
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    g_object_set(pipeline.playbin, "suburi", uri, nullptr);
    g_free(uri);
    pipeline.hasCaptionTrack = true;
    return true;
}

// playbin made its source for "appsrc://": the feed's pump takes it.
void OnSourceSetup(GstElement*, GstElement* source, gpointer data) {
    static_cast<FeedPump*>(data)->Attach(source);
}

int PlaybinCount(GstElement* playbin, const char* property) {
    gint count = 0;
    g_object_get(playbin, property, &count, nullptr);
    return count;
}

// Hundredths of a decibel to GStreamer's linear volume and back; -10000 is
// silence, exactly 0 on the linear scale.
double LinearVolume(long hundredthsOfDb) {
    if (hundredthsOfDb <= GstPlayer::kSilence) {
        return 0.0;
    }
    return std::pow(10.0, static_cast<double>(std::min(hundredthsOfDb, 0L)) / 2000.0);
}

long HundredthsOfDb(double linear) {
    if (linear <= 0.0) {
        return GstPlayer::kSilence;
    }
    long level = std::lround(2000.0 * std::log10(linear));
    return std::clamp(level, GstPlayer::kSilence, 0L);
}

}  // namespace

GstPlayer::GstPlayer() : m_shared(std::make_unique<Shared>()) {}

GstPlayer::~GstPlayer() {
    Close();
}

bool GstPlayer::Open(const std::string& address, const OpenOptions& options) {
    if (!OpenAsync(address, options)) {
        return false;
    }
    if (!WaitUntilOpen()) {
        DropPipeline();
        return false;
    }
    // The caller has waited for it; the event is for those who did not.
    std::lock_guard lock(m_shared->mutex);
    std::erase_if(m_shared->events,
                  [](const Shared::Event& event) { return event.code == kEventOpened; });
    return true;
}

void GstPlayer::BeginOpen() {
    Close();
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->lastError.clear();
        m_shared->prerolled = false;
        m_shared->failed = false;
        ++m_shared->serial;
        m_shared->state = kOpening;
    }
    m_rate = 1.0;
}

bool GstPlayer::OpenAsync(const std::string& address, const OpenOptions& options) {
    BeginOpen();
    if (!StartOpen(address, options, nullptr)) {
        DropPipeline();
        return false;
    }
    return true;
}

bool GstPlayer::OpenFeed(std::shared_ptr<GrowingFileFeed> feed, const OpenOptions& options) {
    BeginOpen();
    if (!feed) {
        SetError(*m_shared, "nothing to play");
        return false;
    }
    const std::string path = feed->Path().string();
    if (!StartOpen(path, options, std::move(feed))) {
        DropPipeline();
        return false;
    }
    return true;
}

bool GstPlayer::IsFeed() const {
    return m_pipeline && m_pipeline->pump;
}

// False when the open cannot start. A pipeline that refuses to start is an
// open that failed: its error waits in the events.
bool GstPlayer::StartOpen(const std::string& address, const OpenOptions& options,
                          std::shared_ptr<GrowingFileFeed> feed) {
    if (!InitGstreamer()) {
        SetError(*m_shared, "GStreamer could not be initialised");
        return false;
    }
    std::filesystem::path localFile;
    std::string uri = feed ? std::string("appsrc://") : ToUri(address, &localFile);
    if (feed) {
        localFile = feed->Path();
    }
    std::string unreadable;
    if (!Readable(uri, &unreadable)) {
        SetError(*m_shared, "cannot open '" + address + "': " + unreadable);
        return false;
    }
    m_pipeline = std::make_unique<Pipeline>();
    Pipeline& p = *m_pipeline;
    p.playbin = gst_element_factory_make("playbin", nullptr);
    std::string error = "GStreamer's playbin element is missing";
    GstElement* audioSink = nullptr;
    if (!p.playbin || !MakeAudioSink(options.clocked, &audioSink, &error)) {
        SetError(*m_shared, error);
        return false;
    }
    gst_object_ref_sink(p.playbin);
    p.videoSink = MakeAppSink("tapewell-video", "video/x-raw,format=BGR", options.clocked,
                              *m_shared, OnVideoSample);
    GstElement* textSink =
        MakeAppSink("tapewell-text", "text/x-raw", options.clocked, *m_shared, OnTextSample);
    if (!p.videoSink || !textSink) {
        SetError(*m_shared, "GStreamer's appsink element is missing");
        return false;
    }
    // A caption track must not hold up the opening until its first cue.
    g_object_set(textSink, "async", FALSE, nullptr);
    g_object_set(p.playbin, "video-sink", p.videoSink, "text-sink", textSink, nullptr);
    if (audioSink) {
        g_object_set(p.playbin, "audio-sink", audioSink, nullptr);
    }
    guint flags = 0;
    g_object_get(p.playbin, "flags", &flags, nullptr);
    flags &= ~((options.audio ? 0 : kPlayFlagAudio) | (options.captions ? 0 : kPlayFlagText));
    g_object_set(p.playbin, "flags", flags, nullptr);
    if (feed) {
        p.pump = std::make_unique<FeedPump>(std::move(feed));
        g_signal_connect(p.playbin, "source-setup", G_CALLBACK(OnSourceSetup), p.pump.get());
    }
    g_object_set(p.playbin, "uri", uri.c_str(), nullptr);
    if (options.captions && !localFile.empty()) {
        SetUpCaptionTrack(p, localFile);
    }
    uint64_t serial = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        serial = m_shared->serial;
    }
    GstBus* bus = gst_element_get_bus(p.playbin);
    gst_bus_set_sync_handler(bus, OnBusMessage, new BusContext{m_shared.get(), serial},
                             FreeBusContext);
    gst_object_unref(bus);
    if (gst_element_set_state(p.playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        // Usually the bus has told why already, and queued the event.
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->failed) {
            SetErrorLocked(*m_shared, "cannot open '" + address + "'");
            PushEventLocked(*m_shared, kEventErrorAbort, 0);
        }
    }
    return true;
}

bool GstPlayer::WaitUntilOpen() {
    std::unique_lock lock(m_shared->mutex);
    bool settled =
        m_shared->changed.wait_for(lock, std::chrono::milliseconds(limits::kOpenWaitMs),
                                   [this] { return m_shared->prerolled || m_shared->failed; });
    if (!settled) {
        m_shared->lastError = "timed out opening the media";
    }
    return settled && !m_shared->failed;
}

void GstPlayer::DropPipeline() {
    {
        std::lock_guard lock(m_shared->mutex);
        ++m_shared->serial;
    }
    // Not under the mutex: going to NULL waits for the streaming threads,
    // which take it.
    m_pipeline.reset();
    std::lock_guard lock(m_shared->mutex);
    m_shared->events.clear();
    m_shared->captions.clear();
    m_shared->lastFrameNs = -1;
    m_shared->frameDurationNs = 0;
}

void GstPlayer::Close() {
    RemoveFrameCallback();
    if (!m_pipeline) {
        return;
    }
    DropPipeline();
    m_shared->state = kClosed;
}

int GstPlayer::GetState() const {
    return m_shared->state;
}

bool GstPlayer::IsOpening() const {
    return m_pipeline && m_shared->state == kOpening;
}

bool GstPlayer::IsOpen() const {
    return m_pipeline && !IsOpening();
}

std::string GstPlayer::LastError() const {
    std::lock_guard lock(m_shared->mutex);
    return m_shared->lastError;
}

bool GstPlayer::HasCaptionGraph() const {
    return m_pipeline &&
           (m_pipeline->hasCaptionTrack || PlaybinCount(m_pipeline->playbin, "n-text") > 0);
}

bool GstPlayer::ChangeState(int target, State reached) {
    if (!IsOpen() || gst_element_set_state(m_pipeline->playbin, static_cast<GstState>(target)) ==
                         GST_STATE_CHANGE_FAILURE) {
        return false;
    }
    m_shared->state = reached;
    return true;
}

bool GstPlayer::Play() {
    return ChangeState(GST_STATE_PLAYING, kRunning);
}

bool GstPlayer::Pause() {
    return ChangeState(GST_STATE_PAUSED, kPaused);
}

bool GstPlayer::Stop() {
    if (IsOpening()) {
        Close();
        return true;
    }
    // Paused rather than torn down: the media stays ready, so that a seek to
    // the start and Play go on at once.
    if (!Pause()) {
        return false;
    }
    m_shared->state = kStopped;
    return true;
}

double GstPlayer::GetDuration() const {
    gint64 duration = 0;
    if (!m_pipeline ||
        !gst_element_query_duration(m_pipeline->playbin, GST_FORMAT_TIME, &duration) ||
        duration < 0) {
        return 0.0;
    }
    return static_cast<double>(duration) / GST_SECOND;
}

double GstPlayer::GetPosition() const {
    gint64 position = 0;
    if (!m_pipeline ||
        !gst_element_query_position(m_pipeline->playbin, GST_FORMAT_TIME, &position) ||
        position < 0) {
        return 0.0;
    }
    return static_cast<double>(position) / GST_SECOND;
}

bool GstPlayer::Seek(double seconds) {
    // A feed is a stream: the demuxer cannot find a time in it.
    if (!IsOpen() || IsFeed() || !(seconds >= 0.0) || seconds > GetDuration()) {
        return false;
    }
    return SeekTo(static_cast<int64_t>(std::llround(seconds * GST_SECOND)), m_rate);
}

bool GstPlayer::SeekTo(int64_t positionNs, double rate) {
    auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    // Backwards, the segment runs from the start up to the position.
    bool sent = rate > 0.0 ? gst_element_seek(m_pipeline->playbin, rate, GST_FORMAT_TIME, flags,
                                              GST_SEEK_TYPE_SET, positionNs, GST_SEEK_TYPE_NONE,
                                              static_cast<gint64>(GST_CLOCK_TIME_NONE))
                           : gst_element_seek(m_pipeline->playbin, rate, GST_FORMAT_TIME, flags,
                                              GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_SET, positionNs);
    if (!sent) {
        return false;
    }
    // A flushing seek prerolls again; wait so that the position reads true.
    gst_element_get_state(m_pipeline->playbin, nullptr, nullptr,
                          static_cast<GstClockTime>(limits::kSeekWaitMs) * GST_MSECOND);
    return true;
}

bool GstPlayer::SetRate(double rate) {
    // GStreamer has no rate 0 (a stopped picture is Pause).
    if (!IsOpen() || IsFeed() || rate == 0.0 || !std::isfinite(rate)) {
        return false;
    }
    gint64 position = 0;
    gst_element_query_position(m_pipeline->playbin, GST_FORMAT_TIME, &position);
    if (!SeekTo(std::max<gint64>(position, 0), rate)) {
        return false;
    }
    m_rate = rate;
    return true;
}

int GstPlayer::PollEvent(long* param1, long* param2) {
    Shared::Event event{};
    {
        std::lock_guard lock(m_shared->mutex);
        if (!m_pipeline || m_shared->events.empty()) {
            return kNoEvent;
        }
        event = m_shared->events.front();
        m_shared->events.pop_front();
    }
    // An open that failed leaves nothing open, as Open does; the state stays
    // kOpening.
    if (event.code == kEventErrorAbort && IsOpening()) {
        DropPipeline();
    }
    if (param1) {
        *param1 = event.param1;
    }
    if (param2) {
        *param2 = 0;
    }
    return event.code;
}

bool GstPlayer::GetVolume(long* hundredthsOfDb) const {
    if (!m_pipeline) {
        return false;
    }
    gdouble linear = 0.0;
    g_object_get(m_pipeline->playbin, "volume", &linear, nullptr);
    *hundredthsOfDb = HundredthsOfDb(linear);
    return true;
}

bool GstPlayer::SetVolume(long hundredthsOfDb) {
    if (!m_pipeline) {
        return false;
    }
    g_object_set(m_pipeline->playbin, "volume", LinearVolume(hundredthsOfDb), nullptr);
    return true;
}

bool GstPlayer::IsAudioOnly() const {
    return !m_pipeline || PlaybinCount(m_pipeline->playbin, "n-video") == 0;
}

bool GstPlayer::GetVideoInfo(VideoInfo* info) const {
    if (IsAudioOnly()) {
        return false;
    }
    GstPad* pad = gst_element_get_static_pad(m_pipeline->videoSink, "sink");
    GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr;
    GstVideoInfo video;
    bool ok = caps && gst_video_info_from_caps(&video, caps);
    if (ok) {
        info->width = GST_VIDEO_INFO_WIDTH(&video);
        info->height = GST_VIDEO_INFO_HEIGHT(&video);
        info->frameDuration = m_shared->frameDurationNs / 100;
    }
    if (caps) {
        gst_caps_unref(caps);
    }
    if (pad) {
        gst_object_unref(pad);
    }
    return ok;
}

int GstPlayer::GetVideoWidth() const {
    VideoInfo info;
    return GetVideoInfo(&info) ? info.width : 0;
}

int GstPlayer::GetVideoHeight() const {
    VideoInfo info;
    return GetVideoInfo(&info) ? info.height : 0;
}

bool GstPlayer::GetCaptionText(std::string* text) {
    std::unique_lock lock(m_shared->mutex);
    if (!m_shared->changed.wait_for(lock, std::chrono::milliseconds(limits::kCaptionWaitMs),
                                    [this] { return !m_shared->captions.empty(); })) {
        return false;
    }
    *text = std::move(m_shared->captions.front());
    m_shared->captions.pop_front();
    return true;
}

void GstPlayer::SetCaptionNotice(CaptionNotice notice) {
    if (notice) {
        m_shared->captionNotice.Set(std::move(notice));
    } else {
        m_shared->captionNotice.Remove();
    }
}

void GstPlayer::SetFrameCallback(FrameCallback callback) {
    if (callback) {
        m_shared->frameCallback.Set(std::move(callback));
    } else {
        m_shared->frameCallback.Remove();
    }
}

bool GstPlayer::SaveCurrentImage(const std::filesystem::path& path) const {
    if (IsAudioOnly()) {
        return false;
    }
    GstSample* sample = nullptr;
    g_object_get(m_pipeline->videoSink, "last-sample", &sample, nullptr);
    if (!sample) {
        return false;
    }
    bool saved = false;
    WithFrame(sample, StreamTimeNs(sample),
              [&](const VideoFrame& frame) { saved = SaveBmp(path, frame); });
    gst_sample_unref(sample);
    return saved;
}

}  // namespace tapewell
