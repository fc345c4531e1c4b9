#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace tapewell::test {

// A small tmpfs of the test's own, for a disk that fills up or cannot be
// written (or another memory file system: "ramfs" keeps no user
// attributes). Mounting needs CAP_SYS_ADMIN; without it Mounted() is false
// and Reason() says why, so the test can skip rather than fail.
class TmpfsMount {
public:
    TmpfsMount(const std::filesystem::path& at, const std::string& options, unsigned long flags = 0,
               const char* type = "tmpfs")
        : m_at(at) {
        std::error_code error;
        std::filesystem::create_directories(at, error);
        if (::mount("tapewell-test", at.c_str(), type, flags, options.c_str()) == 0) {
            m_mounted = true;
        } else {
            m_reason = "cannot mount a " + std::string(type) + " here (" +
                       std::string(std::strerror(errno)) + ")";
        }
    }
    ~TmpfsMount() {
        if (m_mounted) {
            ::umount2(m_at.c_str(), MNT_DETACH);
        }
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Mounted() const { return m_mounted; }
    const std::string& Reason() const { return m_reason; }

private:
    std::filesystem::path m_at;
    bool m_mounted = false;
    std::string m_reason;
};

}  // namespace tapewell::test
