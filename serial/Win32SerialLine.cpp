#include "serial/SerialLine.h"

#include "serial/ComPort.h"
#include "serial/PortName.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace serial {

namespace {

// Closes its handle; holds none while the handle is null or the invalid handle value.
class THandle {
public:
    THandle() noexcept = default;
    ~THandle() { Reset(nullptr); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;

    void Reset(HANDLE handle) noexcept {
        if (handle_)
            ::CloseHandle(handle_);
        handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }
    [[nodiscard]] HANDLE Get() const noexcept { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// Manual reset, created non-signalled.
HANDLE NewEvent() noexcept {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

// Windows keeps a port's settings from one opener to the next, so every field that decides
// what reaches the program is set here, whatever a terminal or `mode` left: binary mode, no
// parity checking, no flow control of any kind (which would drop XON and XOFF bytes from the
// stream or hold input back on a three-wire cable), no bytes removed or replaced (null
// stripping, the error character), no read failing after a line error, and DTR and RTS on,
// which adapters powered from those lines need. The driver refuses equal XON and XOFF
// characters even with XON/XOFF off. The queue limits stay the driver's.
void ApplyLineSettings(DCB& settings) noexcept {
    settings.BaudRate = CBR_57600;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fErrorChar = FALSE;
    settings.fNull = FALSE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fAbortOnError = FALSE;
    settings.XonChar = 0x11;
    settings.XoffChar = 0x13;
}

// The driver's queue sizes are a recommendation. The input queue is asked for some ten seconds
// of the line, since the reader takes nothing while a hand-over waits for the window thread.
constexpr DWORD InputQueueSize = 64 * 1024;
constexpr DWORD OutputQueueSize = 4 * 1024;

// A read of bytes already queued ends at once; one that has not ended by then never will
// (a driver that lost the port) and is cancelled. Cancelling ends an operation as soon as the
// driver lets it go; one it keeps past the second bound is left to it.
constexpr DWORD ReadCompletesWithinMs = 5000;
constexpr DWORD CancelCompletesWithinMs = 2000;

// What an overlapped operation on the port writes into until it ends: its record, the event
// that tells its end, the mask a wait reports and the bytes a read delivers. Kept apart from
// the line, so that an operation the driver never lets go of is left with memory of its own.
struct TPortIo {
    OVERLAPPED Overlapped{};
    THandle Event;
    DWORD EventMask = 0; // what the wait reports; not examined
    std::array<std::uint8_t, InputQueueSize> Bytes;
};

} // namespace

// The port is closed first (the destructor), then the events, then the port's name.
struct TSerialLine::TState {
    std::string Name;
    std::filesystem::path Device;
    THandle InUse;
    THandle Port;
    // The write event is created, kept and closed; nothing is ever written.
    OVERLAPPED WriteOverlapped{};
    THandle WriteEvent;
    std::unique_ptr<TPortIo> Io; // the wait and the reads
    DWORD LastQueued = 0;        // what the last status read counted, none after a read
    bool Abandoned = false;      // an operation outlived its cancellation: Io is the driver's
    THandle Wake;

    ~TState() {
        // Closing the port ends what the driver still holds; an operation it kept even after
        // being cancelled may yet write into Io, which is then left to it.
        Port.Reset(nullptr);
        if (Abandoned &&
            ::WaitForSingleObject(Io->Event.Get(), CancelCompletesWithinMs) != WAIT_OBJECT_0)
            static_cast<void>(Io.release());
    }

    // Waits a bounded time for the operation in flight to end; cancels it when it has not,
    // and waits for the cancellation, bounded too. False when it is still in flight: the
    // record is then the driver's and is never used again.
    bool Finish(DWORD withinMs, DWORD& transferred) noexcept {
        const HANDLE port = Port.Get();
        if (::WaitForSingleObject(Io->Event.Get(), withinMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(port, &Io->Overlapped);
            if (::WaitForSingleObject(Io->Event.Get(), CancelCompletesWithinMs) != WAIT_OBJECT_0) {
                Abandoned = true;
                return false;
            }
        }
        return ::GetOverlappedResult(port, &Io->Overlapped, &transferred, FALSE) != 0;
    }
};

// Windows names a port after its adapter, so the same name counts as the same device.
TSerialLine::TSerialLine(std::uint8_t number, const std::string& name, const TDeviceIdentity* lost)
    : state_(std::make_unique<TState>()) {
    TState& s = *state_;
    s.Name = name;
    s.Device = PortDevice(number);

    // A port opened without sharing is refused to every other opener by Windows, but not by
    // Wine, which opens it again. A name held while the port is open refuses a second port of
    // this program there too.
    const HANDLE inUse =
        ::CreateMutexW(nullptr, FALSE, (L"Local\\telmira-COM" + std::to_wstring(number)).c_str());
    const bool heldElsewhere = ::GetLastError() == ERROR_ALREADY_EXISTS;
    s.InUse.Reset(inUse);
    if (!inUse || heldElsewhere)
        throw EComPortError("Error opening port " + name);

    s.Port.Reset(::CreateFileW(s.Device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    const HANDLE port = s.Port.Get();
    if (!port)
        throw EComPortError("Error opening port " + name);

    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!::SetupComm(port, InputQueueSize, OutputQueueSize) || !::GetCommState(port, &settings))
        throw EComPortError("Error setting port " + name + " state");
    ApplyLineSettings(settings);
    if (!::SetCommState(port, &settings))
        throw EComPortError("Error setting port " + name + " state");

    // No time-outs: a read returns when the count asked for has arrived.
    COMMTIMEOUTS none{};
    if (!::SetCommTimeouts(port, &none))
        throw EComPortError("Error setting port " + name + " times");

    if (!lost && !::PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        throw EComPortError("Error purging port " + name);

    if (!::SetCommMask(port, EV_RXCHAR))
        throw EComPortError("Error setting port " + name + " mask");

    s.WriteEvent.Reset(NewEvent());
    if (!s.WriteEvent.Get())
        throw EComPortError("Error creating write event");
    s.WriteOverlapped.hEvent = s.WriteEvent.Get();

    s.Io = std::make_unique<TPortIo>();
    s.Io->Event.Reset(NewEvent());
    s.Wake.Reset(NewEvent());
    if (!s.Io->Event.Get() || !s.Wake.Get())
        throw EComPortError("Error creating read event");
    s.Io->Overlapped.hEvent = s.Io->Event.Get();
}

TSerialLine::~TSerialLine() = default;

const std::filesystem::path& TSerialLine::Device() const noexcept {
    return state_->Device;
}

TDeviceIdentity TSerialLine::Identity() const {
    return {state_->Device, true, {}, std::nullopt};
}

bool TSerialLine::WaitForBytes() {
    TState& s = *state_;
    if (s.Abandoned)
        throw EComPortError("Error waiting port " + s.Name + " event");
    const HANDLE port = s.Port.Get();
    TPortIo& io = *s.Io;
    if (::WaitCommEvent(port, &io.EventMask, &io.Overlapped)) {
        // Wine completes the wait at once while any byte is queued, not when one arrives.
        // Bytes already counted that wait for more would then spin the reader; they wait a
        // millisecond instead, or until Wake.
        if (s.LastQueued > 0 && Queued() == s.LastQueued)
            return ::WaitForSingleObject(s.Wake.Get(), 1) == WAIT_TIMEOUT;
        return true;
    }
    if (::GetLastError() != ERROR_IO_PENDING)
        throw EComPortError("Error waiting port " + s.Name + " event");

    // A wait that completes goes on to the status read whatever its result: a driver ends a
    // wait it cannot keep (Wine does so on an idle pseudo-terminal every few milliseconds),
    // and a port that is gone fails at the status read.
    const HANDLE events[] = {io.Event.Get(), s.Wake.Get()};
    const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0)
        return true;
    // The wait pending on the record must be over before the record is used again or goes.
    DWORD ignored = 0;
    s.Finish(0, ignored);
    if (woken == WAIT_OBJECT_0 + 1)
        return false;
    throw EComPortError("Error waiting port " + s.Name + " event");
}

std::optional<std::uint32_t> TSerialLine::Queued() noexcept {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(state_->Port.Get(), &errors, &status))
        return std::nullopt;
    state_->LastQueued = status.cbInQue;
    return status.cbInQue;
}

std::size_t TSerialLine::ReadQueued(std::uint8_t* into, std::size_t count) noexcept {
    TState& s = *state_;
    s.LastQueued = 0;
    const HANDLE port = s.Port.Get();
    TPortIo& io = *s.Io;
    std::size_t got = 0;
    while (got < count && !s.Abandoned) {
        const auto asked = static_cast<DWORD>(std::min<std::size_t>(count - got, io.Bytes.size()));
        // The bytes are queued already, so a read that the driver completes later (Wine
        // completes every one later) ends at once; it is waited for, not taken for a failure.
        if (!::ReadFile(port, io.Bytes.data(), asked, nullptr, &io.Overlapped) &&
            ::GetLastError() != ERROR_IO_PENDING)
            break;
        DWORD n = 0;
        const bool ended = s.Finish(ReadCompletesWithinMs, n);
        // A cancelled read may still have delivered some of the bytes.
        std::copy_n(io.Bytes.data(), n, into + got);
        got += n;
        if (!ended || n == 0)
            break;
    }
    return got;
}

void TSerialLine::Wake() noexcept {
    ::SetEvent(state_->Wake.Get());
}

// The port's name is what Windows opens.
std::filesystem::path PortDevice(std::uint8_t number) {
    return PortName(number);
}

} // namespace serial
