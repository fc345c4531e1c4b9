#include "player/FeedPump.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <system_error>
#include <vector>

#include "common/Limits.h"

namespace tapewell {

FeedPump::~FeedPump() {
    Cancel();
    Join();
}

void FeedPump::Attach(GstElement* appsrc) {
    std::lock_guard lock(m_mutex);
    if (m_cancelled || m_source != nullptr || !GST_IS_APP_SRC(appsrc)) {
        return;
    }
    // A stream of unknown length, not seekable: a seekable source of
    // unknown size makes the demuxer jump about in the file.
    g_object_set(appsrc, "stream-type", GST_APP_STREAM_TYPE_STREAM, "format", GST_FORMAT_BYTES,
                 "block", TRUE, "max-bytes", static_cast<guint64>(limits::kFeedQueueBytes),
                 nullptr);
    m_source = GST_ELEMENT(gst_object_ref(appsrc));
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        GST_ELEMENT_ERROR(m_source, RESOURCE, FAILED, ("cannot start reading the file"), (nullptr));
    }
}

void FeedPump::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_feed->Cancel();
}

void FeedPump::Join() {
    std::thread thread;
    {
        std::lock_guard lock(m_mutex);
        thread = std::move(m_thread);
    }
    if (thread.joinable()) {
        thread.join();
    }
    std::lock_guard lock(m_mutex);
    if (m_source != nullptr) {
        gst_object_unref(m_source);
        m_source = nullptr;
    }
}

void FeedPump::Run() {
    auto* source = GST_APP_SRC(m_source);
    for (;;) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, limits::kFeedChunkBytes, nullptr);
        GstMapInfo map;
        if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
            if (buffer != nullptr) {
                gst_buffer_unref(buffer);
            }
            GST_ELEMENT_ERROR(m_source, RESOURCE, READ, ("out of memory reading the file"),
                              (nullptr));
            return;
        }
        ErrorOr<size_t> read = m_feed->Read({map.data, map.size});
        gst_buffer_unmap(buffer, &map);
        if (!read || *read == 0) {
            gst_buffer_unref(buffer);
            if (!read) {
                GST_ELEMENT_ERROR(m_source, RESOURCE, READ, ("%s", read.error().message.c_str()),
                                  (nullptr));
            } else {
                gst_app_src_end_of_stream(source);
            }
            return;
        }
        gst_buffer_set_size(buffer, static_cast<gssize>(*read));
        // Blocks while the queue is full; anything but OK means the
        // pipeline is going away.
        if (gst_app_src_push_buffer(source, buffer) != GST_FLOW_OK) {
            return;
        }
    }
}

}  // namespace tapewell
