#pragma once

// flock as a test program linked with -Wl,--wrap=flock sees it: the system's own call, or
// while a TFlockRule lives, the rule it was given. Tests meet through it what a local file
// system never shows: NFS locks, and a lock another program takes between a file's creation
// and its locking.

namespace telemetry::testing {

using TFlock = int (*)(int fd, int operation);

// flock over NFS, which turns it into a byte-range lock: an exclusive lock needs a
// descriptor opened for writing and a shared one a descriptor opened for reading (EBADF).
int NfsFlock(int fd, int operation);

class TFlockRule {
public:
    explicit TFlockRule(TFlock rule);
    ~TFlockRule();
    TFlockRule(const TFlockRule&) = delete;
    TFlockRule& operator=(const TFlockRule&) = delete;

private:
    TFlock previous_;
};

} // namespace telemetry::testing
