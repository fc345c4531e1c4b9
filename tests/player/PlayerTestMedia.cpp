#include "PlayerTestMedia.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

// Points GStreamer's registry, runtime and temporary files at the scratch
// folder and sends sound to a sink that needs no sound card, before any
// test opens a player.
class ScratchEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const std::filesystem::path scratch = TAPEWELL_TEST_SCRATCH;
        for (const char* sub : {"runtime", "cache", "tmp"}) {
            std::filesystem::create_directories(scratch / sub);
        }
        std::filesystem::permissions(scratch / "runtime", std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (scratch / "runtime").c_str(), 1);
        setenv("XDG_CACHE_HOME", (scratch / "cache").c_str(), 1);
        setenv("TMPDIR", (scratch / "tmp").c_str(), 1);
        setenv("TAPEWELL_AUDIO_SINK", "fakesink", 1);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);

std::filesystem::path Make(const std::string& name, const AsfRecipe& recipe) {
    auto path = MediaFolder() / name;
    MakeAsf(path, recipe);
    return path;
}

}  // namespace

const std::filesystem::path& MediaFolder() {
    static TempDir dir;
    return dir.Path();
}

const std::filesystem::path& VideoClip() {
    static const auto path = Make("clip.asf", AsfRecipe());
    return path;
}

const std::filesystem::path& SoundClip() {
    static const auto path = [] {
        AsfRecipe recipe;
        recipe.video = false;
        return Make("song.wma", recipe);
    }();
    return path;
}

const std::filesystem::path& OddWidthClip() {
    static const auto path = [] {
        AsfRecipe recipe;
        recipe.seconds = 3.0;
        recipe.size = "318x240";
        return Make("odd.asf", recipe);
    }();
    return path;
}

}  // namespace tapewell::test
