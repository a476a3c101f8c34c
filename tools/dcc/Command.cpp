#include "tools/dcc/Command.h"

#ifdef _WIN32
#include "native/WideText.h"
#endif

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

#ifdef _WIN32
// Bytes as they are: no CR LF turned into LF, no end of file at a 0x1A byte.
constexpr int ReadFlags = O_RDONLY | O_BINARY | O_NOINHERIT;
int OpenForReading(const std::string& path) {
    return ::_wopen(native::WideText(path).c_str(), ReadFlags);
}
#else
constexpr int ReadFlags = O_RDONLY | O_CLOEXEC;
int OpenForReading(const std::string& path) {
    return ::open(path.c_str(), ReadFlags);
}
#endif

} // namespace

void FileError(const std::string& path, int error) {
    throw EFileError(path + ": " + std::strerror(error));
}

TInputFile::TInputFile(const std::string& path) : path_(path) {
    fd_ = OpenForReading(path);
    if (fd_ < 0)
        FileError(path, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int error = errno;
        ::close(fd_);
        FileError(path, error);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd_);
        FileError(path, EISDIR);
    }
}

TInputFile::~TInputFile() {
    ::close(fd_);
}
