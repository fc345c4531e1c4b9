// The main of every desktop-program test: a QApplication on the offscreen
// platform (unless the environment names another) and, around every test, a
// fresh home and fresh XDG folders so that no test sees another's settings,
// lists or sockets.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "GuiTestSupport.h"
#include "gui/app/UiPrompt.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

std::unique_ptr<TempDir>& Home() {
    static std::unique_ptr<TempDir> home;
    return home;
}

class FreshFolders final : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        Home() = std::make_unique<TempDir>();
        const std::filesystem::path& root = Home()->Path();
        const std::pair<const char*, const char*> folders[] = {
            {"HOME", "home"},
            {"XDG_CONFIG_HOME", "config"},
            {"XDG_DATA_HOME", "data"},
            {"XDG_CACHE_HOME", "cache"},
            {"XDG_RUNTIME_DIR", "runtime"},
        };
        for (const auto& [variable, name] : folders) {
            std::filesystem::create_directories(root / name);
            ::chmod((root / name).c_str(), 0700);
            ::setenv(variable, (root / name).c_str(), 1);
        }
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        gui::UiPrompt::Install(nullptr);
        Home().reset();
    }
};

}  // namespace

const std::filesystem::path& TestHome() {
    return Home()->Path();
}

}  // namespace tapewell::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new tapewell::test::FreshFolders);
    return RUN_ALL_TESTS();
}
