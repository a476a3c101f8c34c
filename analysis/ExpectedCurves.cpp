#include "analysis/ExpectedCurves.h"

#include "telemetry/DecodedFrame.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>
#include <utility>

namespace analysis {

namespace {

// The texts the window shows for a file it cannot open or write.
constexpr char OpenError[] = "Ошибка открытия файла";
constexpr char WriteError[] = "Ошибка записи файла";

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// What a line's message quotes of a value: enough to recognise it.
std::string Quoted(std::string_view value) {
    constexpr std::size_t Longest = 40;
    std::string text(value.substr(0, Longest));
    if (value.size() > Longest)
        text += "…";
    return "«" + text + "»";
}

[[noreturn]] void LineError(std::size_t line, const std::string& what) {
    throw ECurveError("Файл кривых, строка " + std::to_string(line) + ": " + what);
}

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = line.find(',');
        fields.push_back(Trimmed(line.substr(0, comma)));
        if (comma == std::string_view::npos)
            return fields;
        line.remove_prefix(comma + 1);
    }
}

std::optional<std::uint8_t> CurveNumber(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

// A point that breaks a rule of its own, as the user should read it; none for a good one.
std::optional<std::string> PointFault(const TCurvePoint& point) {
    if (!std::isfinite(point.Rpm))
        return "обороты — не число";
    if (point.Rpm < 0)
        return "обороты не могут быть отрицательными";
    if (point.Rpm > MostCurveRpm)
        return "обороты больше 1000000 об/мин";
    if (!std::isfinite(point.Advance))
        return "угол — не число";
    if (std::abs(point.Advance) > MostCurveAdvance)
        return "угол больше 360° по модулю";
    return std::nullopt;
}

std::string SpeedText(double rpm) {
    return telemetry::NumberText(rpm) + " об/мин";
}

} // namespace

double Interpolate(std::span<const TCurvePoint> points, double rpm) noexcept {
    const auto after = std::upper_bound(points.begin(), points.end(), rpm,
                                        [](double r, const TCurvePoint& p) { return r < p.Rpm; });
    if (after == points.begin())
        return points.front().Advance;
    if (after == points.end())
        return points.back().Advance;
    const TCurvePoint& a = *(after - 1);
    const TCurvePoint& b = *after;
    return a.Advance + (b.Advance - a.Advance) * (rpm - a.Rpm) / (b.Rpm - a.Rpm);
}

void TExpectedCurves::SetCurve(std::uint8_t curve, std::vector<TCurvePoint> points) {
    for (const TCurvePoint& point : points)
        if (const auto fault = PointFault(point))
            throw ECurveError("Кривая " + std::to_string(curve) + ": " + *fault);
    std::sort(points.begin(), points.end(),
              [](const TCurvePoint& a, const TCurvePoint& b) { return a.Rpm < b.Rpm; });
    const auto same = std::adjacent_find(
        points.begin(), points.end(),
        [](const TCurvePoint& a, const TCurvePoint& b) { return a.Rpm == b.Rpm; });
    if (same != points.end())
        throw ECurveError("Кривая " + std::to_string(curve) + ": две точки на " +
                          SpeedText(same->Rpm));
    curves_[curve] = std::move(points);
}

bool TExpectedCurves::Empty() const noexcept {
    return std::all_of(curves_.begin(), curves_.end(), [](const auto& c) { return c.empty(); });
}

std::optional<double> TExpectedCurves::Expected(std::uint8_t curve, double rpm) const noexcept {
    if (!Has(curve))
        return std::nullopt;
    return Interpolate(curves_[curve], rpm);
}

TExpectedCurves ParseCurveFile(std::string_view text) {
    if (text.starts_with(ByteOrderMark))
        text.remove_prefix(ByteOrderMark.size());
    std::array<std::vector<TCurvePoint>, 256> points;
    std::map<std::pair<int, double>, std::size_t> lineOfPoint;
    bool header = false;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (Trimmed(line).empty())
            continue;
        const std::vector<std::string_view> fields = Fields(line);
        if (!header) {
            if (fields != std::vector<std::string_view>{"curve", "rpm", "advance"})
                LineError(number,
                          std::string("первой строкой ожидается заголовок ") + CurveFileHeader);
            header = true;
            continue;
        }
        if (fields.size() != 3)
            LineError(number, "нужны три значения через запятую: кривая, обороты, угол "
                              "(дробная часть — через точку)");
        const auto curve = CurveNumber(fields[0]);
        if (!curve)
            LineError(number,
                      "номер кривой " + Quoted(fields[0]) + " — не целое число от 0 до 255");
        const auto rpm = Number(fields[1]);
        if (!rpm)
            LineError(number, "обороты " + Quoted(fields[1]) + " — не число");
        const auto advance = Number(fields[2]);
        if (!advance)
            LineError(number, "угол " + Quoted(fields[2]) + " — не число");
        if (const auto fault = PointFault({*rpm, *advance}))
            LineError(number, *fault);
        const auto [at, added] = lineOfPoint.try_emplace({*curve, *rpm}, number);
        if (!added)
            LineError(number, "у кривой " + std::to_string(*curve) + " уже есть точка на " +
                                  SpeedText(*rpm) + " (строка " + std::to_string(at->second) + ")");
        points[*curve].push_back({*rpm, *advance});
    }
    if (!header)
        throw ECurveError("Файл кривых пуст");
    if (lineOfPoint.empty())
        throw ECurveError("В файле кривых нет ни одной точки");
    TExpectedCurves curves;
    for (std::size_t curve = 0; curve < points.size(); ++curve)
        curves.SetCurve(static_cast<std::uint8_t>(curve), std::move(points[curve]));
    return curves;
}

std::string CurveFileText(const TExpectedCurves& curves) {
    std::string text = CurveFileHeader;
    text += '\n';
    for (int curve = 0; curve < 256; ++curve)
        for (const TCurvePoint& point : curves.Points(static_cast<std::uint8_t>(curve)))
            text += std::to_string(curve) + ',' + telemetry::NumberText(point.Rpm) + ',' +
                    telemetry::NumberText(point.Advance) + '\n';
    return text;
}

TExpectedCurves ReadCurveFile(const std::filesystem::path& path) {
    std::error_code folder;
    if (std::filesystem::is_directory(path, folder))
        throw ECurveError(OpenError);
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw ECurveError(OpenError);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw ECurveError(OpenError);
    return ParseCurveFile(text);
}

void WriteCurveFile(const std::filesystem::path& path, const TExpectedCurves& curves) {
    const std::string text = CurveFileText(curves);
    std::filesystem::path part = path;
    part += ".part";
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(part, ignored);
            throw ECurveError(WriteError);
        }
    }
    std::error_code error;
    std::filesystem::rename(part, path, error);
    if (error) {
        std::filesystem::remove(part, error);
        throw ECurveError(WriteError);
    }
}

std::optional<double> Number(std::string_view text) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace analysis
