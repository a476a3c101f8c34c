// A second process that records as a live session does, for the tests of what other
// processes may do to its recording:
//   recording_holder FILE FOLDER FIRST SECOND
// records FIRST frames (RecordedFrames) into FILE, creates FOLDER/held, waits until
// FOLDER/go exists, records SECOND frames more and closes the recording. Exits with 0 when all
// of it was recorded, 1 otherwise, saying why on standard error.

#include "telemetry/RecordingFile.h"
#include "telemetry/tests/RecordedFrames.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: recording_holder FILE FOLDER FIRST SECOND\n", stderr);
        return 1;
    }
    namespace fs = std::filesystem;
    const fs::path folder = argv[2];
    try {
        const auto now = telemetry::TRecordingFile::TClock::now;
        telemetry::TRecordingFile recording(argv[1]);
        const int first = std::stoi(argv[3]);
        recording.Write(telemetry::testing::RecordedFrames(0, first), now());
        std::ofstream(folder / "held");
        // The test gives the word within seconds; a test that died leaves the holder to go.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!fs::exists(folder / "go")) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("no word to go on");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        recording.Write(telemetry::testing::RecordedFrames(first, std::stoi(argv[4])), now());
        recording.Close();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "recording_holder: %s\n", e.what());
        return 1;
    }
}
