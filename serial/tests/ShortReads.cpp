#include "serial/tests/ShortReads.h"

#include <algorithm>
#include <atomic>
#include <sys/types.h>

extern "C" ssize_t __real_read(int fd, void* buffer, std::size_t count);

namespace serial::testing {

namespace {

std::atomic<std::size_t> Most{0}; // 0: reads as the system does

} // namespace

TShortReads::TShortReads(std::size_t most) : previous_(Most.exchange(most)) {}

TShortReads::~TShortReads() {
    Most.store(previous_);
}

} // namespace serial::testing

extern "C" ssize_t __wrap_read(int fd, void* buffer, std::size_t count) {
    const std::size_t most = serial::testing::Most.load();
    return __real_read(fd, buffer, most == 0 ? count : std::min(count, most));
}
