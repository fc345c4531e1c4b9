#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace tapewell::test {

TempDir::TempDir() {
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("tapewell-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

CommandResult Run(const std::vector<std::string>& argv) {
    // Both streams go to files, so a chatty child can never block on a full
    // pipe while we wait for it.
    TempDir dir;
    const auto outPath = dir / "out";
    const auto errPath = dir / "err";
    CommandResult result;
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0), dup2(out, 1), dup2(err, 2);
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    auto out = ReadFileBytes(outPath);
    auto err = ReadFileBytes(errPath);
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
}

pid_t Spawn(const std::vector<std::string>& argv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

bool WaitForSize(const std::filesystem::path& path, uintmax_t bytes) {
    for (int i = 0; i < 400; ++i) {
        std::error_code error;
        if (std::filesystem::file_size(path, error) >= bytes && !error) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string ProbeReport::Get(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

ProbeReport Probe(const std::filesystem::path& file) {
    ProbeReport report;
    CommandResult r =
        Run({"ffprobe", "-v", "error", "-show_format", "-show_streams", file.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::string prefix;
    int streamIndex = -1;
    while (std::getline(lines, line)) {
        if (line == "[STREAM]") {
            prefix = "stream" + std::to_string(++streamIndex) + ".";
        } else if (line == "[FORMAT]") {
            prefix = "format.";
        } else if (auto eq = line.find('='); eq != std::string::npos) {
            report.values[prefix + line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    // The demuxer logs each ASF data packet it reads at trace level; reading
    // all frames makes it walk every packet of the file.
    CommandResult dbg = Run({"ffprobe", "-v", "trace", "-count_frames", "-show_entries",
                             "stream=nb_read_frames", file.string()});
    std::istringstream log(dbg.err);
    const std::string marker = "packet: size=";
    while (std::getline(log, line)) {
        if (auto at = line.find(marker); at != std::string::npos) {
            ++report.asfPacketsRead;
            report.asfPacketSize =
                static_cast<uint32_t>(std::strtoul(line.c_str() + at + marker.size(), nullptr, 10));
        }
    }
    return report;
}

bool MakeAsf(const std::filesystem::path& out, const AsfRecipe& recipe) {
    std::string seconds = std::to_string(recipe.seconds);
    std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y"};
    std::vector<std::string> maps;
    int input = 0;
    auto addVideo = [&] {
        argv.insert(argv.end(), {"-f", "lavfi", "-i", "testsrc2=size=" + recipe.size + ":rate=25"});
        maps.insert(maps.end(), {"-map", std::to_string(input++) + ":v"});
    };
    auto addAudio = [&] {
        argv.insert(argv.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100"});
        maps.insert(maps.end(), {"-map", std::to_string(input++) + ":a"});
    };
    if (recipe.audioFirst) {
        if (recipe.audio)
            addAudio();
        if (recipe.video)
            addVideo();
    } else {
        if (recipe.video)
            addVideo();
        if (recipe.audio)
            addAudio();
    }
    argv.insert(argv.end(), maps.begin(), maps.end());
    argv.insert(argv.end(), {"-t", seconds});
    if (recipe.video) {
        argv.insert(argv.end(), {"-c:v", recipe.videoCodec, "-b:v", recipe.videoBitrate});
        if (recipe.gop > 0) {
            argv.insert(argv.end(), {"-g", std::to_string(recipe.gop)});
        }
    }
    if (recipe.audio) {
        argv.insert(argv.end(), {"-c:a", recipe.audioCodec, "-b:a", "64k", "-ac", "2"});
    }
    if (!recipe.title.empty()) {
        argv.insert(argv.end(), {"-metadata", "title=" + recipe.title});
    }
    if (!recipe.author.empty()) {
        argv.insert(argv.end(), {"-metadata", "author=" + recipe.author});
    }
    argv.insert(argv.end(),
                {"-packet_size", std::to_string(recipe.packetSize), "-f", "asf", out.string()});
    CommandResult r = Run(argv);
    if (r.exitCode != 0) {
        ADD_FAILURE() << "ffmpeg failed (" << r.exitCode << "): " << r.err;
        return false;
    }
    return true;
}

std::string DropLinesContaining(const std::string& text, const std::string& needle) {
    std::string kept;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        if (line.find(needle) == std::string::npos) {
            kept += line;
        }
        start = end;
    }
    return kept;
}

}  // namespace tapewell::test
