#include "serial/SerialLine.h"

#include "serial/ComPort.h"
#include "serial/PortName.h"

#include <windows.h>

#include <algorithm>

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
    return ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
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

} // namespace

// Destroyed in reverse: the events, then the port handle, then the port's name.
struct TSerialLine::TState {
    std::string Name;
    std::filesystem::path Device;
    THandle InUse;
    THandle Port;
    // The write event is created, kept and closed; nothing is ever written.
    OVERLAPPED WriteOverlapped{};
    THandle WriteEvent;
    OVERLAPPED ReadOverlapped{}; // the wait and the reads
    DWORD EventMask = 0;         // what the wait reports; not examined
    DWORD LastQueued = 0;        // what the last status read counted, none after a read
    THandle ReadEvent;
    THandle Wake;
};

TSerialLine::TSerialLine(std::uint8_t number, const std::string& name)
    : state_(std::make_unique<TState>()) {
    TState& s = *state_;
    s.Name = name;
    s.Device = PortDevice(number);

    // A port opened without sharing is refused to every other opener by Windows, but not by
    // Wine, which opens it again. A name held while the port is open refuses a second port of
    // this program there too.
    s.InUse.Reset(
        ::CreateMutexA(nullptr, FALSE, ("Local\\telmira-COM" + std::to_string(number)).c_str()));
    if (!s.InUse.Get() || ::GetLastError() == ERROR_ALREADY_EXISTS)
        throw EComPortError("Error opening port " + name);

    s.Port.Reset(::CreateFileA(s.Device.string().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
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

    if (!::PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        throw EComPortError("Error purging port " + name);

    if (!::SetCommMask(port, EV_RXCHAR))
        throw EComPortError("Error setting port " + name + " mask");

    s.WriteEvent.Reset(NewEvent());
    if (!s.WriteEvent.Get())
        throw EComPortError("Error creating write event");
    s.WriteOverlapped.hEvent = s.WriteEvent.Get();

    s.ReadEvent.Reset(NewEvent());
    s.Wake.Reset(NewEvent());
    if (!s.ReadEvent.Get() || !s.Wake.Get())
        throw EComPortError("Error creating read event");
    s.ReadOverlapped.hEvent = s.ReadEvent.Get();
}

TSerialLine::~TSerialLine() = default;

const std::filesystem::path& TSerialLine::Device() const noexcept {
    return state_->Device;
}

bool TSerialLine::WaitForBytes() {
    TState& s = *state_;
    const HANDLE port = s.Port.Get();
    if (::WaitCommEvent(port, &s.EventMask, &s.ReadOverlapped)) {
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
    const HANDLE events[] = {s.ReadEvent.Get(), s.Wake.Get()};
    const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0)
        return true;
    // The wait pending on the record must be over before the record is used again or goes.
    ::CancelIo(port);
    DWORD ignored = 0;
    ::GetOverlappedResult(port, &s.ReadOverlapped, &ignored, TRUE);
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
    std::size_t got = 0;
    while (got < count) {
        const auto asked = static_cast<DWORD>(std::min<std::size_t>(count - got, MAXDWORD));
        // The bytes are queued already, so a read that the driver completes later (Wine
        // completes every one later) ends at once; it is waited for, not taken for a failure.
        DWORD n = 0;
        if (!::ReadFile(port, into + got, asked, nullptr, &s.ReadOverlapped) &&
            ::GetLastError() != ERROR_IO_PENDING)
            break;
        if (!::GetOverlappedResult(port, &s.ReadOverlapped, &n, TRUE) || n == 0)
            break;
        got += n;
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
