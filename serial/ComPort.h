#pragma once

// The serial link: one numbered port opened for exclusive use at 57600 baud, 8 data bits,
// no parity, one stop bit, and a reader thread that hands each received block,
// synchronously, to the thread that constructed the port (the window thread). The link
// only receives. The window thread must be installed (WindowThread.h); hand-overs run from
// its event loop, modal loops included.

#include "serial/DeviceIdentity.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace serial {

class EComPortError : public std::runtime_error {
public:
    explicit EComPortError(const std::string& message, std::string explanation = {})
        : std::runtime_error(message), explanation_(std::move(explanation)) {}
    // Why the port was refused, said to the window's user in Russian under the message; empty
    // where the message says all there is.
    [[nodiscard]] const std::string& Explanation() const noexcept { return explanation_; }

private:
    std::string explanation_;
};

// A received block: valid only during the call.
using TDataHandler = std::function<void(std::span<const std::uint8_t> block)>;
// A failure that ended the reader: the port's own message, or what the data handler threw.
using TErrorHandler = std::function<void(const std::string& message)>;

class TReadThread;
class TSerialLine;
struct THandOverLink;

class TComPort {
public:
    // Opens and configures the port, then starts the reader. Blocks shorter than
    // threshold stay queued in the driver until more bytes arrive. Raises EComPortError,
    // holding nothing afterwards.
    TComPort(std::uint8_t portNumber, std::uint8_t threshold);
    // Opens port portNumber again for a session whose port failed, only while the number leads
    // to the device of lost (SameDevice), and without purging: what the driver queued since the
    // device came back is that device's stream. Raises EComPortError as the other constructor
    // does, and when the number leads elsewhere.
    TComPort(std::uint8_t portNumber, std::uint8_t threshold, const TDeviceIdentity& lost);
    // Stops and joins the reader and releases the port. Once it returns no handler of
    // this port is called again; hand-overs still queued are dropped, and so is what Drain
    // would have handed over. Never waits for the window thread, so it may run inside the
    // data handler or OnError.
    ~TComPort();

    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    [[nodiscard]] const std::string& Name() const noexcept { return name_; }
    // What was opened for the port number (PortDevice).
    [[nodiscard]] const std::filesystem::path& Device() const noexcept;
    // What the number led to when the port was opened, for opening it again.
    [[nodiscard]] TDeviceIdentity Identity() const;

    // Attaches the data handler, which runs on the window thread. Blocks read while no
    // handler is attached are kept; they go to the handler first, in order, from the
    // window thread's event loop, each on its own with when it was read (BlockReadAt).
    void SetOnData(TDataHandler handler);
    // On the window thread: the bytes kept for the handler.
    [[nodiscard]] std::size_t KeptBytes() const noexcept { return kept_.size(); }

    // On the window thread, outside this port's handlers: stops the reader, then hands the
    // data handler, at once, every byte received and not yet handed over: blocks kept while
    // no handler was attached, a block the reader had read, and whatever the driver still
    // holds, however short, each as it was read. A failure the handler raises passes to the caller.
    // Nothing is handed over once the handler has failed, nor read from a port that failed. Once
    // called, no more bytes are read, a second call included; only destruction is left.
    void Drain();

    // In the data handler: when the last byte of the block in hand was read from the port,
    // which is when it arrived, however long the block then waited for the window thread.
    [[nodiscard]] std::chrono::steady_clock::time_point BlockReadAt() const noexcept {
        return blockReadAt_;
    }

    // Runs on the window thread. When the data handler throws, or the port fails (a USB
    // adapter pulled out), OnError gets the message once and no more blocks are read; the
    // port stays open until destroyed.
    TErrorHandler OnError;

private:
    friend struct THandOverLink;

    TComPort(std::uint8_t portNumber, std::uint8_t threshold, const TDeviceIdentity* lost);

    std::string name_;
    std::unique_ptr<TSerialLine> line_;
    std::shared_ptr<THandOverLink> link_;
    std::unique_ptr<TReadThread> reader_;
    // Where a block ends among the bytes kept, and when it was read.
    struct TBlockEnd {
        std::size_t End;
        std::chrono::steady_clock::time_point ReadAt;
    };

    // Both only on the window thread.
    TDataHandler onData_;
    std::vector<std::uint8_t> kept_; // read while no data handler was attached
    // The blocks kept_ holds: a pause in the stream while no handler was attached stays
    // between the blocks it came between.
    std::vector<TBlockEnd> keptEnds_;
    // When the last byte of the block in the handler's hands was read.
    std::chrono::steady_clock::time_point blockReadAt_;
};

} // namespace serial
