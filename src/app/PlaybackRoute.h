#pragma once

#include <string>

namespace tapewell {

// How an address plays. GStreamer reads local files and plain HTTP itself;
// it has no source for MMS, RTSP or Windows Media HTTP streaming, so those
// play through a recording job into a cache file (PlaybackFetch), and the
// player reads that growing file. A local file that a recording is still
// writing plays the same way (time-shift), or it would end where the
// recording stood when it opened.
enum class PlaybackRoute {
    kDirect,       // GStreamer opens the address itself (MediaPlayer::OpenAsync)
    kGrowingFile,  // a local file under its writer's lock (MediaPlayer::OpenFeed)
    kEngines,      // PlaybackFetch, then OpenFeed on its file
};

// Looks at the file system for the writer's lock of a local file.
PlaybackRoute RoutePlayback(const std::string& address);

}  // namespace tapewell
