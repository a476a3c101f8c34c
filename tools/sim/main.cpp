// telmira-sim: the ignition controller's stream, into a recording file or onto a
// pseudo-terminal linked as a numbered port.

#include "cmake/TelmiraVersion.h"
#include "serial/PortFolder.h"
#include "telemetry/WriterClaim.h"
#include "tools/sim/Simulator.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Read by people and by help2man, which makes the manual page from it: each usage form stays
// on one line, as help2man takes a line that goes on as the description's first.
constexpr const char* Help =
    "Usage: telmira-sim --out FILE.dcc --frames N [--seed S] [--noise]\n"
    "  or:  telmira-sim --port N [OPTION]...\n"
    "Simulates the engine ignition controller: writes a recording of a simulated engine run,\n"
    "or streams the run in real time on a pseudo-terminal linked as COM<N> in telmira's port\n"
    "folder ($XDG_RUNTIME_DIR/telmira/ports, or /tmp/telmira-UID/ports without that\n"
    "variable), where telmira opens port N. When it stops, the simulator gives a program\n"
    "reading the port up to a second to take what is queued before the line goes.\n"
    "\n"
    "Options:\n"
    "  --out FILE.dcc       write the recording to FILE.dcc\n"
    "  --frames N           the recording's number of whole frames\n"
    "  --port N             stream on port N, 1 to 255, until stopped by SIGINT (Ctrl+C),\n"
    "                       SIGTERM or SIGHUP\n"
    "  --rate FRAMES_PER_S  frames a second on the port (default 640, the full line rate\n"
    "                       of 57600 baud)\n"
    "  --seconds S          stop streaming after S seconds (default 0: until stopped)\n"
    "  --burst N            on SIGUSR1, send the next N frames as fast as the reader takes\n"
    "                       them (history for a measurement), then go on at the rate\n"
    "  --pause-at S         stop sending S seconds into the stream (a burst's time not\n"
    "                       counted),\n"
    "  --pause-for S        and go on at the rate S seconds later; the pause does not count\n"
    "                       toward --seconds\n"
    "  --seed S             the run's seed (default 1): the same seed gives the same run\n"
    "  --noise              add garbage between frames and 0xFF payload bytes, start in the\n"
    "                       middle of a frame and end with a frame cut short\n"
    "  --log FILE           write every byte put on the port's line to FILE\n"
    "  --wait-reader        send nothing until a program has opened the port\n"
    "  -h, --help           print this help and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  the recording was written, or the stream ran its seconds or until stopped\n"
    "  1  the recording could not be written, or the port could not be set up\n"
    "  2  wrong command line\n";

struct TOptions {
    std::optional<std::string> out;
    std::optional<unsigned long long> frames;
    std::optional<unsigned> port;
    std::optional<std::string> log;
    double rate = sim::FramesPerSecond;
    double seconds = 0;
    std::optional<double> pauseAt;
    std::optional<double> pauseFor;
    unsigned long long burst = 0;
    unsigned long long seed = 1;
    bool noise = false;
    bool waitReader = false;
};

class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& message) {
    throw std::runtime_error(message);
}

[[noreturn]] void FailUsage(const std::string& message) {
    throw EUsage(message);
}

template <typename T> T Number(std::string_view option, const char* text) {
    T value{};
    const std::string_view s(text);
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size())
        FailUsage(std::string(option) + ": not a number: " + text);
    return value;
}

TOptions Parse(int argc, char** argv) {
    TOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--noise") {
            o.noise = true;
            continue;
        }
        if (arg == "--wait-reader") {
            o.waitReader = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(Help, stdout);
            std::exit(0);
        }
        if (arg == "--version") {
            std::printf("telmira-sim %s\n", TelmiraVersion);
            std::exit(0);
        }
        if (arg != "--out" && arg != "--frames" && arg != "--seed" && arg != "--port" &&
            arg != "--rate" && arg != "--seconds" && arg != "--log" && arg != "--burst" &&
            arg != "--pause-at" && arg != "--pause-for")
            FailUsage((arg.starts_with('-') ? "unknown option " : "unexpected argument ") +
                      std::string(arg));
        if (i + 1 >= argc)
            FailUsage(std::string(arg) + " needs a value");
        const char* value = argv[++i];
        if (arg == "--out")
            o.out = value;
        else if (arg == "--frames")
            o.frames = Number<unsigned long long>(arg, value);
        else if (arg == "--seed")
            o.seed = Number<unsigned long long>(arg, value);
        else if (arg == "--port")
            o.port = Number<unsigned>(arg, value);
        else if (arg == "--log")
            o.log = value;
        else if (arg == "--rate")
            o.rate = Number<double>(arg, value);
        else if (arg == "--burst")
            o.burst = Number<unsigned long long>(arg, value);
        else if (arg == "--pause-at")
            o.pauseAt = Number<double>(arg, value);
        else if (arg == "--pause-for")
            o.pauseFor = Number<double>(arg, value);
        else
            o.seconds = Number<double>(arg, value);
    }
    if (o.out.has_value() == o.port.has_value())
        FailUsage("give either --out with --frames, or --port");
    if (o.log && !o.port)
        FailUsage("--log goes with --port");
    if (o.out && !o.frames)
        FailUsage("--out needs --frames");
    if (o.out && o.burst)
        FailUsage("--burst is for --port");
    if (o.port && (*o.port < 1 || *o.port > 255))
        FailUsage("--port takes 1 to 255");
    if (!(o.rate > 0) || !(o.seconds >= 0))
        FailUsage("--rate must be positive and --seconds not negative");
    if (o.pauseAt.has_value() != o.pauseFor.has_value())
        FailUsage("--pause-at and --pause-for go together");
    if (o.pauseAt && !o.port)
        FailUsage("--pause-at is for --port");
    if (o.pauseAt && (!(*o.pauseAt >= 0) || !(*o.pauseFor > 0)))
        FailUsage("--pause-at must not be negative and --pause-for must be positive");
    return o;
}

void WriteRecording(const TOptions& o) {
    // Before it is emptied: a recording that a session or program of ours writes is refused.
    const telemetry::TWriterClaim claim(*o.out);
    std::FILE* file = std::fopen(o.out->c_str(), "wb");
    if (!file)
        Fail("cannot create " + *o.out + ": " + std::strerror(errno));
    sim::TStreamGenerator generator(o.seed, o.noise);
    std::vector<std::uint8_t> chunk;
    chunk.reserve(1 << 20);
    bool ok = true;
    const auto flush = [&] {
        ok = ok && std::fwrite(chunk.data(), 1, chunk.size(), file) == chunk.size();
        chunk.clear();
    };
    for (unsigned long long i = 0; i < *o.frames; ++i) {
        generator.AppendFrame(chunk);
        if (chunk.size() >= (1 << 20) - 64)
            flush();
    }
    generator.AppendEnd(chunk);
    flush();
    if (std::fclose(file) != 0 || !ok)
        Fail("cannot write " + *o.out + ": " + std::strerror(errno));
}

volatile std::sig_atomic_t Stop = 0;
volatile std::sig_atomic_t BurstAsked = 0;

extern "C" void OnSignal(int) {
    Stop = 1;
}

extern "C" void OnBurstSignal(int) {
    BurstAsked = 1;
}

// The link the simulator puts in the port folder, removed again when it goes.
class TPortLink {
public:
    TPortLink(unsigned number, const std::string& device)
        : path_(serial::EnsurePortFolder() / ("COM" + std::to_string(number))), device_(device) {
        // A link left dangling by a simulator that was killed is replaced; a live one is not.
        struct stat st {};
        if (::lstat(path_.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode) || ::stat(path_.c_str(), &st) == 0)
                Fail(path_.string() + " is in use; remove it if nothing needs it");
            std::filesystem::remove(path_);
        }
        std::filesystem::create_symlink(device_, path_);
    }
    ~TPortLink() {
        std::error_code error;
        if (std::filesystem::read_symlink(path_, error) == device_)
            std::filesystem::remove(path_, error);
    }
    TPortLink(const TPortLink&) = delete;
    TPortLink& operator=(const TPortLink&) = delete;
    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path device_;
};

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    [[nodiscard]] int Get() const { return fd_; }

private:
    int fd_;
};

double Seconds(const timespec& from, const timespec& to) {
    return static_cast<double>(to.tv_sec - from.tv_sec) +
           static_cast<double>(to.tv_nsec - from.tv_nsec) * 1e-9;
}

// The log gets the bytes that went on the line.
void Log(const std::vector<std::uint8_t>& bytes, std::size_t sent, std::FILE* log) {
    // A tick with nothing due has no bytes, and fwrite takes no null buffer even for none.
    if (log && sent > 0 &&
        (std::fwrite(bytes.data(), 1, sent, log) != sent || std::fflush(log) != 0))
        Fail(std::string("cannot write the log: ") + std::strerror(errno));
}

// Waits for the reader to take every byte, unless stopped.
void SendAll(int master, const std::vector<std::uint8_t>& bytes, std::FILE* log) {
    std::size_t at = 0;
    while (at < bytes.size() && !Stop) {
        const ssize_t n = ::write(master, bytes.data() + at, bytes.size() - at);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd writable{master, POLLOUT, 0};
            ::poll(&writable, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            break;
        }
    }
    Log(bytes, at, log);
}

// Bytes that find the terminal full are lost, as on a line nobody listens to.
void Send(int master, const std::vector<std::uint8_t>& bytes, std::FILE* log) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(master, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
    Log(bytes, at, log);
}

// Waits until a program has taken the terminal for exclusive use, as telmira does when it
// opens a port, and then for the purge that follows within the same opening.
void WaitForReader(int slave) {
    int exclusive = 0;
    while (!Stop && (::ioctl(slave, TIOCGEXCL, &exclusive) != 0 || !exclusive)) {
        const timespec pause{0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
    const timespec purge{0, 100'000'000};
    ::nanosleep(&purge, nullptr);
}

// Gives a program reading the port up to a second to take what is queued. Bytes written to
// the terminal reach its input queue a moment later, from the kernel's own work queue: the
// queue is looked at only once they are in, so that the last bytes are not taken for read
// and lost when the terminal goes.
void Drain(int slave) {
    const timespec landing{0, 50'000'000};
    ::nanosleep(&landing, nullptr);
    for (int i = 0; i < 200; ++i) {
        int queued = 0;
        if (::ioctl(slave, FIONREAD, &queued) != 0 || queued == 0)
            return;
        const timespec pause{0, 5'000'000};
        ::nanosleep(&pause, nullptr);
    }
}

class TLog {
public:
    // Claimed before it is emptied, as the recording is.
    explicit TLog(const std::optional<std::string>& name)
        : claim_(name ? std::make_unique<telemetry::TWriterClaim>(*name) : nullptr),
          file_(name ? std::fopen(name->c_str(), "wb") : nullptr) {
        if (name && !file_)
            Fail("cannot create " + *name + ": " + std::strerror(errno));
    }
    ~TLog() {
        if (file_)
            std::fclose(file_);
    }
    TLog(const TLog&) = delete;
    TLog& operator=(const TLog&) = delete;
    [[nodiscard]] std::FILE* Get() const { return file_; }

private:
    std::unique_ptr<telemetry::TWriterClaim> claim_;
    std::FILE* file_;
};

timespec Later(timespec t, double seconds) {
    const auto whole = static_cast<time_t>(seconds);
    t.tv_sec += whole;
    t.tv_nsec += static_cast<long>((seconds - static_cast<double>(whole)) * 1e9);
    if (t.tv_nsec >= 1'000'000'000) {
        t.tv_nsec -= 1'000'000'000;
        ++t.tv_sec;
    }
    return t;
}

// Sends nothing until seconds have passed or the simulator is stopped.
void Pause(double seconds) {
    timespec end{};
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    end = Later(end, seconds);
    while (!Stop && ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
    }
}

void Stream(const TOptions& o) {
    const TFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    char name[128];
    if (master.Get() < 0 || ::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0 ||
        ::ptsname_r(master.Get(), name, sizeof name) != 0)
        Fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
    // Held open so that the terminal stays while programs come and go; raw, so that
    // nothing is echoed or held back in a line before a program has set the port up.
    const TFd slave(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios raw{};
    if (slave.Get() < 0 || ::tcgetattr(slave.Get(), &raw) != 0)
        Fail(std::string("cannot open ") + name + ": " + std::strerror(errno));
    ::cfmakeraw(&raw);
    ::cfsetispeed(&raw, B57600);
    ::cfsetospeed(&raw, B57600);
    ::tcsetattr(slave.Get(), TCSANOW, &raw);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    action.sa_handler = OnBurstSignal;
    ::sigaction(SIGUSR1, &action, nullptr);

    const TLog log(o.log);
    const TPortLink link(*o.port, name);
    std::printf("telmira-sim: COM%u is %s (%s), %g frames/s%s\n", *o.port, name,
                link.Path().c_str(), o.rate, o.noise ? ", with noise" : "");
    std::fflush(stdout);

    if (o.waitReader)
        WaitForReader(slave.Get());
    sim::TStreamGenerator generator(o.seed, o.noise);
    std::vector<std::uint8_t> bytes;
    timespec start{}, now{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    timespec tick = start;
    unsigned long long sent = 0;
    bool paused = false;
    while (!Stop) {
        if (BurstAsked && o.burst > 0) {
            BurstAsked = 0;
            for (unsigned long long burst = 0; burst < o.burst && !Stop;) {
                bytes.clear();
                for (int i = 0; i < 4096 && burst < o.burst; ++i, ++burst)
                    generator.AppendFrame(bytes);
                SendAll(master.Get(), bytes, log.Get());
            }
            // The rate goes on from here, without making up for the burst's time.
            ::clock_gettime(CLOCK_MONOTONIC, &start);
            tick = start;
            sent = 0;
        }
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const double elapsed = Seconds(start, now);
        if (o.pauseAt && !paused && elapsed >= *o.pauseAt &&
            (o.seconds == 0 || *o.pauseAt < o.seconds)) {
            // What was due before the pause goes, then nothing; the rate then goes on without
            // making up for the pause.
            bytes.clear();
            for (const auto due = static_cast<unsigned long long>(*o.pauseAt * o.rate); sent < due;
                 ++sent)
                generator.AppendFrame(bytes);
            Send(master.Get(), bytes, log.Get());
            Pause(*o.pauseFor);
            start = Later(start, *o.pauseFor);
            ::clock_gettime(CLOCK_MONOTONIC, &tick);
            paused = true;
            continue;
        }
        const bool last = o.seconds > 0 && elapsed >= o.seconds;
        const auto due = static_cast<unsigned long long>((last ? o.seconds : elapsed) * o.rate);
        bytes.clear();
        for (; sent < due; ++sent)
            generator.AppendFrame(bytes);
        if (last)
            generator.AppendEnd(bytes);
        Send(master.Get(), bytes, log.Get());
        if (last)
            break;
        tick.tv_nsec += 10'000'000;
        if (tick.tv_nsec >= 1'000'000'000) {
            tick.tv_nsec -= 1'000'000'000;
            ++tick.tv_sec;
        }
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
    }
    if (Stop && o.noise) {
        bytes.clear();
        generator.AppendEnd(bytes);
        Send(master.Get(), bytes, log.Get());
    }
    Drain(slave.Get());
}

} // namespace

int main(int argc, char** argv) {
    try {
        const TOptions options = Parse(argc, argv);
        if (options.out)
            WriteRecording(options);
        else
            Stream(options);
        return 0;
    } catch (const EUsage& e) {
        std::fprintf(stderr, "telmira-sim: %s; see telmira-sim --help\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "telmira-sim: %s\n", e.what());
        return 1;
    }
}
