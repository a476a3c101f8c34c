#include "telemetry/CompanionFile.h"

#include "telemetry/CompanionFormat.h"

#ifdef _WIN32
#include "native/WideText.h"
#endif

#include <cerrno>
#include <cstdio>

namespace telemetry {

namespace {

// On Windows by the name's wide characters, so that a name outside the code page opens.
std::FILE* OpenForReading(const std::string& path) {
#ifdef _WIN32
    return ::_wfopen(native::WideText(path).c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

class TReadOnlyFile {
public:
    explicit TReadOnlyFile(const std::string& path) : file_(OpenForReading(path)) {}
    ~TReadOnlyFile() {
        if (file_)
            std::fclose(file_);
    }
    TReadOnlyFile(const TReadOnlyFile&) = delete;
    TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
    [[nodiscard]] std::FILE* Get() const noexcept { return file_; }

private:
    std::FILE* file_;
};

} // namespace

TCompanionBytes ReadCompanionFile(const std::string& recordingPath) {
    TCompanionBytes result;
    errno = 0;
    const TReadOnlyFile file(CompanionPath(recordingPath));
    if (!file.Get()) {
        result.Found = errno == ENOENT ? TCompanionBytes::TFound::Missing
                                       : TCompanionBytes::TFound::Unreadable;
        return result;
    }
    std::uint8_t block[65536];
    for (;;) {
        const std::size_t n = std::fread(block, 1, sizeof block, file.Get());
        if (result.Bytes.size() + n > MaxCompanionSize) {
            result.Found = TCompanionBytes::TFound::TooLarge;
            result.Bytes.clear();
            return result;
        }
        result.Bytes.insert(result.Bytes.end(), block, block + n);
        if (n < sizeof block)
            break;
    }
    result.Found = std::ferror(file.Get()) ? TCompanionBytes::TFound::Unreadable
                                           : TCompanionBytes::TFound::Read;
    if (result.Found != TCompanionBytes::TFound::Read)
        result.Bytes.clear();
    return result;
}

} // namespace telemetry
