#pragma once

// Test fixtures for the serial link: a private port folder under a temporary
// XDG_RUNTIME_DIR, and a pseudo-terminal whose slave is linked into it as COM<n>.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace serial::testing {

// Points XDG_RUNTIME_DIR at a fresh folder for the object's lifetime.
class TTempRuntimeDir {
public:
    TTempRuntimeDir();
    ~TTempRuntimeDir();
    TTempRuntimeDir(const TTempRuntimeDir&) = delete;
    TTempRuntimeDir& operator=(const TTempRuntimeDir&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::optional<std::string> saved_;
};

// The master end is the controller's side. The pair also keeps a slave descriptor of its
// own, so that the terminal outlives the port under test and its input queue can be seen.
class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    // Links the slave as COM<number> in the port folder, creating the folder; a link of that
    // name is replaced by a new one.
    void LinkAs(std::uint8_t number) const;
    // Raw input, as on a line a program set up earlier: bytes written before the next program
    // opens the terminal wait for it unchanged.
    void Raw() const;
    // Runs the event loop while the terminal is full.
    void Write(std::span<const std::uint8_t> bytes) const;
    // Writes a block as long as the reading port's threshold and returns once the reader has
    // read it. Arrival is asynchronous, so the last byte goes only after the others are seen
    // queued: then an empty queue can only mean that the reader took the block. Runs the
    // event loop only when asked, so that a hand-over can be left queued.
    void WriteAndWaitUntilRead(std::span<const std::uint8_t> block, bool runEvents) const;
    // Bytes received by the terminal and not yet read by anybody.
    [[nodiscard]] int Queued() const;
    // Waits until exactly count bytes are queued; throws when that takes over 20 s.
    void WaitUntilQueued(int count, bool runEvents) const;
    // Whether the terminal is taken for exclusive use (TIOCEXCL).
    [[nodiscard]] bool Exclusive() const;
    // The line goes away, as when an adapter is pulled out.
    void CloseMaster();
    [[nodiscard]] int Master() const { return master_; }
    [[nodiscard]] const std::string& SlavePath() const { return slavePath_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Runs the event loop until condition holds; false when the deadline passes first.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds deadline = std::chrono::seconds(20));

} // namespace serial::testing
