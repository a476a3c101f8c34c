#pragma once

// What telmira-dcc's commands share: their two kinds of failure, and the files they read.

#include <cerrno>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

// Wrong arguments: main prints the reason and exits with 2.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure that names the file and the reason; main prints it and exits with 1.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void FileError(const std::string& path, int error);

class TInputFile {
public:
    explicit TInputFile(const std::string& path);
    ~TInputFile();
    TInputFile(const TInputFile&) = delete;
    TInputFile& operator=(const TInputFile&) = delete;

    // Reads the whole file in blocks; any size, pipes and special files included.
    template <typename Consumer> void ReadAll(Consumer&& consume) {
        std::vector<std::uint8_t> block(1 << 20);
        for (;;) {
            const ssize_t n = ::read(fd_, block.data(), block.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                FileError(path_, errno);
            }
            if (n == 0)
                return;
            consume(std::span<const std::uint8_t>(block.data(), static_cast<std::size_t>(n)));
        }
    }

private:
    std::string path_;
    int fd_ = -1;
};
