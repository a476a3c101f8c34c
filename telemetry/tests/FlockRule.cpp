#include "telemetry/tests/FlockRule.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

extern "C" int __real_flock(int fd, int operation);

namespace telemetry::testing {

namespace {

std::atomic<TFlock> Rule{nullptr};

} // namespace

int NfsFlock(int fd, int operation) {
    const int access = ::fcntl(fd, F_GETFL) & O_ACCMODE;
    if (((operation & LOCK_EX) && access == O_RDONLY) ||
        ((operation & LOCK_SH) && access == O_WRONLY)) {
        errno = EBADF;
        return -1;
    }
    return __real_flock(fd, operation);
}

TFlockRule::TFlockRule(TFlock rule) : previous_(Rule.exchange(rule)) {}

TFlockRule::~TFlockRule() {
    Rule.store(previous_);
}

} // namespace telemetry::testing

extern "C" int __wrap_flock(int fd, int operation) {
    const telemetry::testing::TFlock rule = telemetry::testing::Rule.load();
    return rule ? rule(fd, operation) : __real_flock(fd, operation);
}
