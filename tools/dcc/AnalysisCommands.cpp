#include "tools/dcc/AnalysisCommands.h"

#include "analysis/Band.h"
#include "analysis/BinnedTable.h"
#include "analysis/Density.h"
#include "analysis/ExpectedAdvance.h"
#include "analysis/ExpectedCurves.h"
#include "analysis/Selection.h"
#include "cmake/TelmiraVersion.h"
#include "telemetry/FrameTable.h"
#include "tools/dcc/Command.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace analysis;

namespace {

struct TCommandLine {
    std::vector<std::string> Files;
    std::map<std::string, std::vector<std::string>, std::less<>> Options; // values in order

    [[nodiscard]] const std::string* Last(std::string_view option) const {
        const auto at = Options.find(option);
        return at == Options.end() ? nullptr : &at->second.back();
    }
};

struct TCommand {
    std::string_view Name;
    std::vector<std::string_view> Files;
    std::vector<std::string_view> Options;
    int (*Run)(const TCommandLine&);
};

// Options that may be given more than once; every other one once at most.
constexpr std::string_view Repeated[] = {"--curve", "--range"};

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        text.remove_prefix(at + 1);
    }
}

std::optional<long long> Whole(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

TQuantity FieldNamed(std::string_view name, std::string_view option) {
    const auto q = QuantityNamed(name);
    if (!q || !IsField(*q))
        throw EUsage(std::string(option) +
                     " takes rpm, map, curve, temperature, octane or advance, not " +
                     std::string(name));
    return *q;
}

// Frame numbers FIRST to LAST, either left out for the first or the last frame.
TFrameRange FramesOption(const std::string& text) {
    const auto parts = Split(text, ':');
    std::optional<long long> first = 0, last = std::numeric_limits<long long>::max();
    if (parts.size() == 2 && !parts[0].empty())
        first = Whole(parts[0]);
    if (parts.size() == 2 && !parts[1].empty())
        last = Whole(parts[1]);
    if (parts.size() != 2 || !first || !last || *first < 0 || *last < *first)
        throw EUsage("--frames takes FIRST:LAST, frame numbers with FIRST <= LAST");
    return {*first, *last == std::numeric_limits<long long>::max() ? *last : *last + 1};
}

TFrameFilter Filter(const TCommandLine& line) {
    TFrameFilter filter;
    if (const auto curves = line.Options.find("--curve"); curves != line.Options.end()) {
        filter.Curves.reset();
        for (const std::string& list : curves->second)
            for (const std::string_view number : Split(list, ',')) {
                const auto curve = Whole(number);
                if (!curve || *curve < 0 || *curve > 255)
                    throw EUsage("--curve takes curve numbers 0 to 255, separated by commas");
                filter.Curves.set(static_cast<std::size_t>(*curve));
            }
    }
    if (const auto ranges = line.Options.find("--range"); ranges != line.Options.end())
        for (const std::string& text : ranges->second) {
            const auto parts = Split(text, ':');
            if (parts.size() != 3)
                throw EUsage("--range takes QUANTITY:FROM:TO");
            TQuantityRange range{FieldNamed(parts[0], "--range")};
            for (const auto& [part, end] :
                 {std::pair{parts[1], &range.Minimum}, {parts[2], &range.Maximum}}) {
                if (part.empty())
                    continue;
                const auto value = Number(part);
                if (!value)
                    throw EUsage("--range takes numbers for FROM and TO, not " + std::string(part));
                *end = *value;
            }
            filter.Ranges.push_back(range);
        }
    if (const std::string* frames = line.Last("--frames"))
        filter.Frames = FramesOption(*frames);
    return filter;
}

std::unique_ptr<telemetry::TFrameTable> ReadFrames(const std::string& path) {
    TInputFile file(path);
    auto table = std::make_unique<telemetry::TFrameTable>();
    telemetry::TLatestValues values;
    std::uint8_t state = 0;
    file.ReadAll([&](std::span<const std::uint8_t> bytes) {
        telemetry::DecodeBlock(bytes, telemetry::DecodeMode::Replay, state, values, nullptr,
                               table.get());
    });
    return table;
}

TExpectedCurves ReadCurves(const std::string& path) {
    // A missing file or a folder is reported as a recording's is.
    { const TInputFile file(path); }
    try {
        return ReadCurveFile(path);
    } catch (const ECurveError& e) {
        throw EFileError(path + ": " + e.what());
    }
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

int Band(const TCommandLine& line) {
    double tolerance = DefaultTolerance;
    if (const std::string* text = line.Last("--tolerance")) {
        const auto value = Number(*text);
        if (!value || *value < 0)
            throw EUsage("--tolerance takes degrees, a number from 0");
        tolerance = *value;
    }
    const TFrameFilter filter = Filter(line);
    const auto frames = ReadFrames(line.Files[0]);
    const TExpectedAdvance expected(ReadCurves(line.Files[1]));
    TBandCounts band(expected, tolerance, filter);
    band.Extend(*frames);
    Print(BandCsv(band));
    return 0;
}

TSpeedBins SpeedBinsOption(const std::string& text) {
    const auto parts = Split(text, ':');
    std::optional<double> values[3];
    for (std::size_t i = 0; i < 3 && parts.size() == 3; ++i)
        values[i] = Number(parts[i]);
    if (!values[0] || !values[1] || !values[2])
        throw EUsage("--speed-bins takes FROM:TO:STEP, three numbers");
    const TSpeedBins bins{*values[0], *values[1], *values[2]};
    try {
        bins.Check();
    } catch (const std::invalid_argument& e) {
        throw EUsage(std::string("--speed-bins: ") + e.what());
    }
    return bins;
}

int Table(const TCommandLine& line) {
    TTableLayout layout;
    if (const std::string* name = line.Last("--quantity"))
        layout.Quantity = FieldNamed(*name, "--quantity");
    TStatistic statistic = TStatistic::Mean;
    if (const std::string* name = line.Last("--stat")) {
        const auto s = StatisticNamed(*name);
        if (!s)
            throw EUsage("--stat takes mean, min, max, std or count, not " + *name);
        statistic = *s;
    }
    if (const std::string* text = line.Last("--speed-bins"))
        layout.Speed = SpeedBinsOption(*text);
    if (const std::string* text = line.Last("--map-bins")) {
        const auto n = Whole(*text);
        if (!n || *n < 1 || *n > 256)
            throw EUsage("--map-bins takes a number of bins from 1 to 256");
        layout.Map.Count = static_cast<int>(*n);
    }
    const std::string* deviation = line.Last("--deviation");
    if (deviation && line.Last("--quantity"))
        throw EUsage("--deviation is the quantity: it takes no --quantity");
    if (deviation)
        layout.Quantity = TQuantity::Deviation;
    layout.Filter = Filter(line);

    const auto frames = ReadFrames(line.Files[0]);
    const auto expected =
        deviation ? std::make_unique<TExpectedAdvance>(ReadCurves(*deviation)) : nullptr;
    TBinnedTable a(layout, expected.get());
    a.Extend(*frames);
    const std::string* minus = line.Last("--minus");
    if (!minus) {
        Print(TableCsv(a, statistic));
        return 0;
    }
    const auto framesB = ReadFrames(*minus);
    TBinnedTable b(layout, expected.get());
    b.Extend(*framesB);
    Print(DifferenceCsv(a, b, statistic));
    return 0;
}

TDensityAxis AxisOption(const std::string& text, std::string_view option) {
    const auto parts = Split(text, ':');
    const std::string usage = std::string(option) + " takes QUANTITY:FROM:TO:PIXELS";
    if (parts.size() != 4)
        throw EUsage(usage);
    const auto q = QuantityNamed(parts[0]);
    const auto from = Number(parts[1]);
    const auto to = Number(parts[2]);
    const auto pixels = Whole(parts[3]);
    if (!q || !(IsField(*q) || *q == TQuantity::Deviation))
        throw EUsage(std::string(option) + " takes a quantity or deviation, not " +
                     std::string(parts[0]));
    if (!from || !to || !pixels || *to <= *from || *pixels < 1 ||
        *pixels > TDensityAxis::MostPixels)
        throw EUsage(usage + " with FROM < TO and 1 to 16384 pixels");
    return {*q, *from, *to, static_cast<int>(*pixels)};
}

int Density(const TCommandLine& line) {
    TDensityLayout layout;
    layout.X = {TQuantity::Speed, 0, 7000, 700};
    layout.Y = {TQuantity::Advance, 0, 60, 600};
    layout.Colour.reset();
    if (const std::string* text = line.Last("--x"))
        layout.X = AxisOption(*text, "--x");
    if (const std::string* text = line.Last("--y"))
        layout.Y = AxisOption(*text, "--y");
    if (const std::string* name = line.Last("--colour")) {
        layout.Colour = QuantityNamed(*name);
        if (!layout.Colour)
            throw EUsage("--colour takes a quantity, deviation or frame, not " + *name);
    }
    layout.Filter = Filter(line);
    const bool deviation = layout.X.Quantity == TQuantity::Deviation ||
                           layout.Y.Quantity == TQuantity::Deviation ||
                           layout.Colour == TQuantity::Deviation;
    const std::string* curvesPath = line.Last("--deviation");
    if (deviation != (curvesPath != nullptr))
        throw EUsage("the quantity deviation and --deviation CURVES.csv go together");

    const auto frames = ReadFrames(line.Files[0]);
    const auto expected =
        curvesPath ? std::make_unique<TExpectedAdvance>(ReadCurves(*curvesPath)) : nullptr;
    TDensity density(layout, expected.get());
    density.Extend(*frames);
    Print(DensityCsv(density));
    return 0;
}

int Figures(const TCommandLine& line) {
    const TFrameRange selection =
        line.Last("--frames") ? FramesOption(*line.Last("--frames")) : TFrameRange{};
    const auto frames = ReadFrames(line.Files[0]);
    Print(SelectionCsv(SelectionFigures(*frames, selection)));
    return 0;
}

const std::vector<TCommand>& Commands() {
    static const std::vector<TCommand> commands = {
        {"band",
         {"FILE.dcc", "CURVES.csv"},
         {"--tolerance", "--curve", "--range", "--frames"},
         Band},
        {"table",
         {"FILE.dcc"},
         {"--quantity", "--stat", "--speed-bins", "--map-bins", "--deviation", "--minus", "--curve",
          "--range", "--frames"},
         Table},
        {"density",
         {"FILE.dcc"},
         {"--x", "--y", "--colour", "--deviation", "--curve", "--range", "--frames"},
         Density},
        {"figures", {"FILE.dcc"}, {"--frames"}, Figures},
    };
    return commands;
}

} // namespace

bool IsAnalysisCommand(std::string_view command) noexcept {
    return std::any_of(Commands().begin(), Commands().end(),
                       [&](const TCommand& c) { return c.Name == command; });
}

int RunAnalysisCommand(std::span<const std::string> args, void (*printHelp)()) {
    for (const std::string_view arg : args) {
        if (arg == "--help") {
            printHelp();
            return 0;
        }
        if (arg == "--version") {
            std::printf("telmira-dcc %s\n", TelmiraVersion);
            return 0;
        }
    }
    const TCommand& command = *std::find_if(Commands().begin(), Commands().end(),
                                            [&](const TCommand& c) { return c.Name == args[0]; });
    TCommandLine line;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg.size() < 2 || arg.front() != '-') {
            line.Files.emplace_back(arg);
            continue;
        }
        if (std::find(command.Options.begin(), command.Options.end(), arg) == command.Options.end())
            throw EUsage("unknown option " + std::string(arg) + " for " +
                         std::string(command.Name));
        if (++i == args.size())
            throw EUsage(std::string(arg) + " needs a value");
        auto& values = line.Options[std::string(arg)];
        if (!values.empty() &&
            std::find(std::begin(Repeated), std::end(Repeated), arg) == std::end(Repeated))
            throw EUsage(std::string(arg) + " is given twice");
        values.emplace_back(args[i]);
    }
    if (line.Files.size() != command.Files.size()) {
        std::string files;
        for (const std::string_view file : command.Files)
            files += (files.empty() ? "" : " and ") + std::string(file);
        throw EUsage(std::string(command.Name) + " needs " + files);
    }
    try {
        return command.Run(line);
    } catch (const std::invalid_argument& e) {
        // What the analysis refuses of the options given.
        throw EUsage(e.what());
    }
}
