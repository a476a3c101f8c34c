#pragma once

// What the companion's tests share: a folder of their own, files read and written whole, and
// companions put together record by record with the CRCs of the recording they tie.

#include "telemetry/CompanionFormat.h"
#include "telemetry/Crc32c.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace telemetry::testing {

class TTempFolder {
public:
    TTempFolder()
        : path_(std::filesystem::temp_directory_path() /
                ("telmira-companion-" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(path_);
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A companion of recording, record by record, each tie with the CRC of what it covers.
class TCompanionBuilder {
public:
    explicit TCompanionBuilder(std::span<const std::uint8_t> recording) : recording_(recording) {
        TRecordEncoder(bytes).Header();
    }
    TCompanionBuilder& Start(TWallStart start = {1'700'000'000'000'000, 10800}) {
        TRecordEncoder(bytes).Start(start);
        return *this;
    }
    TCompanionBuilder& Checkpoint(std::uint64_t offset, std::int64_t micros) {
        TRecordEncoder(bytes).Checkpoint(offset - tied_, static_cast<std::uint64_t>(micros - time_),
                                         CrcTo(offset));
        tied_ = offset;
        time_ = micros;
        return *this;
    }
    TCompanionBuilder& Tie(std::uint64_t offset) {
        TRecordEncoder(bytes).Tie(offset - tied_, CrcTo(offset));
        tied_ = offset;
        return *this;
    }
    TCompanionBuilder& Marker(int number, std::uint64_t offset, std::string text,
                              TMarkerOrigin origin = TMarkerOrigin::Live) {
        TRecordEncoder(bytes).Marker({number, offset, origin, std::move(text)});
        return *this;
    }
    TCompanionBuilder& Event(TSessionEventKind kind, std::uint64_t offset, std::int64_t micros,
                             std::uint64_t value = 0) {
        TRecordEncoder(bytes).Event({kind, offset, micros, value});
        return *this;
    }

    std::vector<std::uint8_t> bytes;

private:
    std::uint32_t CrcTo(std::uint64_t offset) const {
        const std::size_t from =
            static_cast<std::size_t>(std::min<std::uint64_t>(tied_, recording_.size()));
        const std::size_t to =
            static_cast<std::size_t>(std::min<std::uint64_t>(offset, recording_.size()));
        return Crc32c(recording_.subspan(from, to - from));
    }

    std::span<const std::uint8_t> recording_;
    std::uint64_t tied_ = 0;
    std::int64_t time_ = 0;
};

} // namespace telemetry::testing
