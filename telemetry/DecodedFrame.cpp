#include "telemetry/DecodedFrame.h"

#include "telemetry/Telemetry.h"

#include <charconv>

namespace telemetry {

std::string NumberText(double value) {
    char digits[32];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, end);
}

void AppendCsvLine(std::string& text, const TDecodedFrame& f) {
    text += std::to_string(f.Number) + ',' + std::to_string(f.Period) + ',';
    if (f.Period != 0)
        text += NumberText(EngineSpeed(f.Period));
    text += ',' + std::to_string(f.Map) + ',' + std::to_string(f.CurveNumber) + ',' +
            std::to_string(f.Temperature) + ',' + std::to_string(f.OctaneCorrector) + ',' +
            std::to_string(f.AdvanceCode) + ',';
    text += NumberText(AdvanceDegrees(f.AdvanceCode));
    text += '\n';
}

void AppendSecondsText(std::string& text, double seconds) {
    char digits[32];
    const auto [end, ec] =
        std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed, 3);
    text.append(digits, end);
}

void AppendCsvLine(std::string& text, const TDecodedFrame& frame, double seconds) {
    AppendCsvLine(text, frame);
    text.back() = ',';
    AppendSecondsText(text, seconds);
    text += '\n';
}

} // namespace telemetry
