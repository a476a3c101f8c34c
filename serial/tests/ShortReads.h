#pragma once

// read as a test program linked with -Wl,--wrap=read sees it: while a TShortReads lives, a
// read returns at most a few bytes, as some drivers do whatever is queued.

#include <cstddef>

namespace serial::testing {

class TShortReads {
public:
    explicit TShortReads(std::size_t most);
    ~TShortReads();
    TShortReads(const TShortReads&) = delete;
    TShortReads& operator=(const TShortReads&) = delete;

private:
    std::size_t previous_;
};

} // namespace serial::testing
