// telmira-dcc: reads ".dcc" recordings without the window; Help below says how.

#include "cmake/TelmiraVersion.h"
#include "native/Arguments.h"
#include "telemetry/CompanionFile.h"
#include "telemetry/FrameTable.h"
#include "telemetry/FrameTimes.h"
#include "telemetry/MarkerRows.h"
#include "telemetry/RecordingTimes.h"
#include "tools/dcc/AnalysisCommands.h"
#include "tools/dcc/ChartPicture.h"
#include "tools/dcc/Command.h"
#include "tools/dcc/CompanionLines.h"
#include "tools/dcc/RecordingScan.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifdef _WIN32
#include "native/Console.h"
#include "native/WideText.h"

#include <io.h>
#endif

namespace {

// Read by people and by help2man, which makes the manual page from it. Without pictures, the
// png command and its option are left out.
constexpr const char* Usage = "Usage: telmira-dcc COMMAND FILE.dcc\n";
constexpr const char* UsageWithPictures =
    "Usage: telmira-dcc COMMAND FILE.dcc [OUT.png] [--size WxH]\n";
constexpr const char* Help =
    "Reads the telemetry recordings (\".dcc\" files) that telmira writes, without the "
    "window.\n"
    "\n"
    "Commands:\n"
    "  csv FILE.dcc          one line per completed frame after a header line: frame number,\n"
    "                        period, engine speed, MAP, curve number, temperature, octane\n"
    "                        corrector, advance code and advance in degrees\n"
    "  info FILE.dcc         size, frames, skipped bytes, whether the last frame is cut short,\n"
    "                        and the smallest and largest value of each quantity. Skipped\n"
    "                        bytes are in no frame; those of a frame the file ends inside,\n"
    "                        from its first 0xFF on (a lone 0xFF too), are not skipped but\n"
    "                        make the last frame cut short. telmira's status line counts the\n"
    "                        same. Then, from the companion FILE.dcc.tlm: whether the times\n"
    "                        are measured or estimated from the line rate (and why), the\n"
    "                        session's start, the duration, the markers and the session's\n"
    "                        events\n"
    "  markers FILE.dcc      the markers and the session's events from the companion\n"
    "                        FILE.dcc.tlm, as telmira's list \"Метки\" shows them: one line per\n"
    "                        mark by frame after the header number,frame,time,kind,text.\n"
    "                        number: a marker's (empty for an event); frame and time: the last\n"
    "                        whole frame at the mark and its time as csv --time gives it (both\n"
    "                        empty before the first frame); kind: marker, lost (port lost),\n"
    "                        back (port back), skipped (bytes skipped), curve (curve number\n"
    "                        changed) or closed (session closed); text: a marker's text, in\n"
    "                        double quotes where it holds a comma, a double quote or a line\n"
    "                        end, or the bytes skipped or the new curve number. Deleted\n"
    "                        markers are left out, renamed ones have their last text. Without\n"
    "                        a companion that can be used, the header alone, and standard\n"
    "                        error says why\n";
constexpr const char* PictureCommandHelp =
    "  png FILE.dcc OUT.png  the chart page's chart after a replay of the recording, as a PNG\n"
    "                        picture; needs no display; the recording is mapped and replayed\n"
    "                        as the viewer does it, so an empty file or one that is being\n"
    "                        recorded is refused as there\n";
constexpr const char* OptionsHelp = "\n"
                                    "Options:\n";
constexpr const char* TimeOptionHelp =
    "  --time                csv: a last column, time: when the frame's last byte came, in\n"
    "                        seconds from the recording's start with three decimals, from the\n"
    "                        companion FILE.dcc.tlm, else estimated from the line rate (5760\n"
    "                        bytes a second), which standard error then says\n";
constexpr const char* PictureOptionHelp =
    "  --size WxH            the png picture's width and height in pixels, each 1 to 16384\n"
    "                        (default 1001x473, the chart's size in the window)\n";
constexpr const char* GeneralHelp = "  --help                print this help and exit\n"
                                    "  --version             print the version and exit\n"
                                    "\n"
                                    "Exit status:\n"
                                    "  0  done\n"
                                    "  1  a file could not be read or written\n"
                                    "  2  wrong command line\n";

template <typename T> struct TRange {
    T Minimum = std::numeric_limits<T>::max();
    T Maximum = std::numeric_limits<T>::lowest();
    bool Empty = true;
    void Add(T v) {
        Minimum = std::min(Minimum, v);
        Maximum = std::max(Maximum, v);
        Empty = false;
    }
    [[nodiscard]] std::string Text() const {
        return Empty ? "-"
                     : "min " + telemetry::NumberText(Minimum) + ", max " +
                           telemetry::NumberText(Maximum);
    }
};

// The recording's times: its companion checked against every byte of it. The recording is read
// for that only when there is a companion to check.
telemetry::TRecordingTimes RecordingTimes(const std::string& path) {
    telemetry::TCompanionCheck check(telemetry::ReadCompanionFile(path));
    if (check.NeedsRecording()) {
        TInputFile file(path);
        file.ReadAll([&](auto bytes) { check.Feed(bytes); });
    }
    return check.Finish();
}

int Csv(const std::string& path, bool withTime) {
    TInputFile file(path);
    std::optional<telemetry::TRecordingTimes> times;
    if (withTime) {
        times = RecordingTimes(path);
        std::fputs(TimesNote(path, *times).c_str(), stderr);
    }
    std::optional<telemetry::TTimeCursor> cursor;
    if (times)
        cursor.emplace(*times);
    std::string line;
    std::fputs(withTime ? telemetry::CsvHeaderWithTime : telemetry::CsvHeader, stdout);
    TRecordingScan scan([&](const telemetry::TDecodedFrame& f) {
        line.clear();
        if (cursor)
            telemetry::AppendCsvLine(line, f, cursor->At(scan.FrameEnd()).Seconds);
        else
            telemetry::AppendCsvLine(line, f);
        std::fwrite(line.data(), 1, line.size(), stdout);
    });
    file.ReadAll([&](auto bytes) { scan.Feed(bytes); });
    return 0;
}

int Markers(const std::string& path) {
    TInputFile file(path);
    telemetry::TCompanionCheck check(telemetry::ReadCompanionFile(path));
    telemetry::TFrameTable frames;
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
    const bool checking = check.NeedsRecording();
    file.ReadAll([&](std::span<const std::uint8_t> bytes) {
        telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, state, values, nullptr,
                               &frames);
        if (checking)
            check.Feed(bytes);
    });
    const telemetry::TRecordingTimes times = check.Finish();
    std::fputs(MarkersNote(path, times).c_str(), stderr);
    const auto seconds = [&](std::int64_t frame) {
        return telemetry::FrameTime(frames, times, frame).Seconds;
    };
    std::string text = telemetry::MarkersCsvHeader;
    for (const telemetry::TMarkerRow& row : telemetry::MarkerRows(
             telemetry::Marks(times.Markers(), times.Events(), frames, seconds), true))
        telemetry::AppendMarkerCsvLine(text, row);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int Info(const std::string& path) {
    TInputFile file(path);
    TRange<double> period, rpm, map, curve, temperature, octane, advanceCode, advance;
    TRecordingScan scan([&](const telemetry::TDecodedFrame& f) {
        period.Add(f.Period);
        if (f.Period != 0)
            rpm.Add(telemetry::EngineSpeed(f.Period));
        map.Add(f.Map);
        curve.Add(f.CurveNumber);
        temperature.Add(f.Temperature);
        octane.Add(f.OctaneCorrector);
        advanceCode.Add(f.AdvanceCode);
        advance.Add(telemetry::AdvanceDegrees(f.AdvanceCode));
    });
    telemetry::TCompanionCheck companion(telemetry::ReadCompanionFile(path));
    file.ReadAll([&](auto bytes) {
        scan.Feed(bytes);
        companion.Feed(bytes);
    });
    std::printf("file: %s\n", path.c_str());
    std::printf("size: %llu bytes\n", static_cast<unsigned long long>(scan.Bytes()));
    std::printf("frames: %lld\n", static_cast<long long>(scan.Frames()));
    const telemetry::TRecordingFigures figures = scan.Figures();
    std::printf("skipped: %llu bytes\n", static_cast<unsigned long long>(figures.SkippedBytes));
    std::printf("last frame cut short: %s\n", figures.EndBytes != 0 ? "yes" : "no");
    const std::pair<const char*, const TRange<double>*> rows[] = {{"period", &period},
                                                                  {"rpm", &rpm},
                                                                  {"map", &map},
                                                                  {"curve", &curve},
                                                                  {"temperature", &temperature},
                                                                  {"octane", &octane},
                                                                  {"advance_code", &advanceCode},
                                                                  {"advance", &advance}};
    for (const auto& [name, range] : rows)
        std::printf("%s: %s\n", name, range->Text().c_str());
    PrintCompanionLines(stdout, companion.Finish());
    return 0;
}

TPictureSize ParseSize(const std::string& text) {
    int width = 0, height = 0;
    const char* end = text.data() + text.size();
    auto [x, e1] = std::from_chars(text.data(), end, width);
    if (e1 != std::errc() || x == end || *x != 'x')
        throw EUsage("--size takes WIDTHxHEIGHT");
    auto [last, e2] = std::from_chars(x + 1, end, height);
    if (e2 != std::errc() || last != end || width < 1 || height < 1 || width > 16384 ||
        height > 16384)
        throw EUsage("--size takes WIDTHxHEIGHT, each 1 to 16384");
    return {width, height};
}

int Png(const std::string& path, const std::string& out, TPictureSize size) {
    // A missing file or a folder is reported as csv and info report it.
    { const TInputFile file(path); }
    WriteChartPicture(path, out, size);
    return 0;
}

void PrintHelp() {
    std::fputs(ChartPicturesBuilt ? UsageWithPictures : Usage, stdout);
    std::fputs(Help, stdout);
    if (ChartPicturesBuilt)
        std::fputs(PictureCommandHelp, stdout);
    std::fputs(AnalysisCommandsHelp, stdout);
    std::fputs(OptionsHelp, stdout);
    std::fputs(TimeOptionHelp, stdout);
    if (ChartPicturesBuilt)
        std::fputs(PictureOptionHelp, stdout);
    std::fputs(AnalysisOptionsHelp, stdout);
    std::fputs(GeneralHelp, stdout);
}

int Run(const std::vector<std::string>& arguments) {
    if (!arguments.empty() && IsAnalysisCommand(arguments[0]))
        return RunAnalysisCommand(arguments, PrintHelp);
    std::vector<std::string> operands; // the command and its files
    std::optional<TPictureSize> size;
    bool withTime = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg(arguments[i]);
        if (arg == "--help") {
            PrintHelp();
            return 0;
        }
        if (arg == "--version") {
            std::printf("telmira-dcc %s\n", TelmiraVersion);
            return 0;
        }
        if (arg == "--size" && ChartPicturesBuilt) {
            if (++i == arguments.size())
                throw EUsage("--size needs a value");
            size = ParseSize(arguments[i]);
        } else if (arg == "--time") {
            withTime = true;
        } else if (arg.size() > 1 && arg.front() == '-') {
            throw EUsage("unknown option " + std::string(arg));
        } else {
            operands.emplace_back(arg);
        }
    }
    if (operands.empty())
        throw EUsage("a command is needed");
    const std::string& command = operands[0];
    if (command != "csv" && command != "info" && command != "markers" &&
        (command != "png" || !ChartPicturesBuilt))
        throw EUsage("unknown command " + command);
    if (withTime && command != "csv")
        throw EUsage("--time is for csv");
    if (command == "png") {
        if (operands.size() != 3)
            throw EUsage("png needs FILE.dcc and OUT.png");
        return Png(operands[1], operands[2], size.value_or(DefaultPictureSize));
    }
    if (operands.size() != 2)
        throw EUsage(command + " needs FILE.dcc alone");
    if (size)
        throw EUsage("--size is for png");
    if (command == "markers")
        return Markers(operands[1]);
    return command == "csv" ? Csv(operands[1], withTime) : Info(operands[1]);
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The same bytes as on Linux: LF line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    // File names and messages are UTF-8, and a console shows them so.
    const native::TUtf8Console console;
#endif
    try {
        const int status = Run(native::ProgramArguments(argc, argv));
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "telmira-dcc: standard output: %s\n", std::strerror(errno));
            return 1;
        }
        return status;
    } catch (const EUsage& e) {
        std::fprintf(stderr, "telmira-dcc: %s; see telmira-dcc --help\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "telmira-dcc: %s\n", e.what());
        return 1;
    }
}
