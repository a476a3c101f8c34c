#pragma once

// A disk that takes no more than room bytes of a file, for tests of failed writes: while a
// TFullDisk lives, writes to regular files past room fail with EFBIG (the process's file size
// limit), and the signal such a write raises is ignored.

#include <csignal>

#include <sys/resource.h>

namespace telemetry::testing {

class TFullDisk {
public:
    explicit TFullDisk(rlim_t room = 0) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = room;
        ::setrlimit(RLIMIT_FSIZE, &limited);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~TFullDisk() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    TFullDisk(const TFullDisk&) = delete;
    TFullDisk& operator=(const TFullDisk&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

} // namespace telemetry::testing
