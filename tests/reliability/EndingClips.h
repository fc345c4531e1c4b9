#pragma once

#include <filesystem>
#include <string>

#include "support/AsfClip.h"
#include "support/AsfFileLayout.h"

namespace tapewell::test {

class TestServer;

// The clips the ending tests serve, made once per test program in one
// folder (a server's root serves the first of them, long.asf):
//   long.asf   30 s of WMV2 + WMA2, a key frame every 1.52 s, 3,200-byte
//              packets, about 2.2 MB: larger than the 1 MiB limits
//   short.asf  1 s of WMV2 + WMA2, about 60 KB
//   voice.wma  20 s of WMA2 at 64 kbit/s alone, about 170 KB
struct EndingClips {
    AsfClip longClip;
    AsfClip shortClip;
    AsfClip voice;

    std::filesystem::path Root() const { return longClip.path.parent_path(); }
    static const EndingClips& Get();
};

// "mms://127.0.0.1:PORT/FILE" or "http://...", the port of that protocol.
std::string ClipAddress(const TestServer& server, const std::string& scheme,
                        const std::string& file = "long.asf");

// A server of the clips that sends as fast as it can, shared by the program.
const TestServer& FastServer();

// long.asf recorded whole by tapewell-cli over the scheme from FastServer,
// once per program: what every stopped recording must become when resumed.
const std::filesystem::path& WholeRecording(const std::string& scheme);

// Checks what every recording of the clip's stream must say of itself,
// however it ended: File Size is the file's size; the Data object and File
// Properties count the whole packets there are, and no part of one follows;
// the packets are the stream's own from its first; Play Duration less the
// preroll, Send Duration, the last packet's Send Time and ffprobe's duration
// agree; a Simple Index object names only packets sent by each entry's
// time; and tapewell-cli cut takes the file.
AsfFileLayout ExpectHonestRecording(const std::filesystem::path& file, const AsfClip& clip);

// The same for a recording that holds the whole stream: every packet, the
// server's own durations, no resume record and a clean decode.
void ExpectWholeRecording(const std::filesystem::path& file, const AsfClip& clip);

// Whether the server's totals of a stopped recording are kept beside it:
// in its "user.tapewell.resume" attribute or in a hidden ".NAME...
// .tapewell-resume" file in its folder.
bool HasResumeAttribute(const std::filesystem::path& file);
bool HasResumeSidecar(const std::filesystem::path& file);

// ffprobe's format duration in seconds; -1 when it gives none.
double ProbeDuration(const std::filesystem::path& file);

// What `ffmpeg -v error -i FILE -f null -` prints.
std::string DecodeErrors(const std::filesystem::path& file);

}  // namespace tapewell::test
