#pragma once

// The platform's side of a port: the port opened for exclusive use at the link's line
// settings, a wait for received bytes that another thread can cut short, the count of bytes
// queued in the driver, and reads of them. One implementation per platform, chosen at build
// time: PosixSerialLine.cpp (termios) and Win32SerialLine.cpp (the Windows comm functions).
// The wait, the count and the reads run on one thread at a time: the reader, or the window
// thread once the reader has ended.

#include "serial/DeviceIdentity.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace serial {

class TSerialLine {
public:
    // Opens and configures port <number>, whose messages quote name, and prepares the wait.
    // With lost, only the device of lost is opened (SameDevice), and its queue is not purged.
    // Raises EComPortError, holding nothing afterwards.
    TSerialLine(std::uint8_t number, const std::string& name, const TDeviceIdentity* lost);
    ~TSerialLine();

    TSerialLine(const TSerialLine&) = delete;
    TSerialLine& operator=(const TSerialLine&) = delete;

    // What was opened for the port number.
    [[nodiscard]] const std::filesystem::path& Device() const noexcept;
    // What the number led to when the line was opened.
    [[nodiscard]] TDeviceIdentity Identity() const;

    // Blocks until bytes may have arrived (true) or Wake was called (false). The wait ends
    // on new bytes, not on bytes that stay queued. Raises EComPortError when the port fails.
    bool WaitForBytes();
    // The count of bytes the driver holds; nothing when the port's status cannot be read.
    [[nodiscard]] std::optional<std::uint32_t> Queued() noexcept;
    // Reads count bytes that Queued counted, in as many reads as the driver needs to give
    // them; returns how many came, fewer only when a read failed.
    std::size_t ReadQueued(std::uint8_t* into, std::size_t count) noexcept;
    // From any thread: ends the wait in progress and every later one.
    void Wake() noexcept;

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

} // namespace serial
