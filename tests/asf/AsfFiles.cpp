#include "AsfFiles.h"

#include <gtest/gtest.h>

namespace tapewell::test {

const TempDir& AsfFiles::Dir() {
    static TempDir dir;
    return dir;
}

const AsfFiles& AsfFiles::Get() {
    static const AsfFiles files = [] {
        AsfFiles f;
        f.videoAudio = Dir() / "video-audio.asf";
        AsfRecipe va;
        va.seconds = 4;
        va.title = "녹화 테스트 제목";
        va.author = "Tapewell";
        MakeAsf(f.videoAudio, va);

        f.audioVideo = Dir() / "audio-video.wmv";
        AsfRecipe av;
        av.audioFirst = true;
        av.videoCodec = "wmv1";
        av.packetSize = 2000;
        av.seconds = 3;
        MakeAsf(f.audioVideo, av);

        f.audioOnly = Dir() / "audio.wma";
        AsfRecipe a;
        a.video = false;
        a.packetSize = 1500;
        a.seconds = 5;
        MakeAsf(f.audioOnly, a);
        return f;
    }();
    return files;
}

std::filesystem::path TruncatedCopy(const std::filesystem::path& source, uint64_t n,
                                    const std::string& name) {
    auto bytes = ReadFileBytes(source);
    bytes.resize(std::min<uint64_t>(n, bytes.size()));
    auto path = AsfFiles::Dir() / name;
    WriteFileBytes(path, bytes);
    return path;
}

}  // namespace tapewell::test
