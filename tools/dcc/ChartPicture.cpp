#include "tools/dcc/ChartPicture.h"

#include "telemetry/WriterClaim.h"
#include "ui/window/TelemetryChart.h"

#include <QApplication>
#include <QImage>

#include <stdexcept>

const bool ChartPicturesBuilt = true;

void WriteChartPicture(const std::string& recording, const std::string& picture,
                       TPictureSize size) {
    // Pictures are made without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "telmira-dcc";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // The recording is mapped and walked as the viewer does it, never read into memory.
    QImage image;
    try {
        image = RenderRecordingChart(recording, QSize(size.Width, size.Height));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(recording + ": " + e.what());
    }
    // Never over a recording that a session or program of ours is writing.
    const telemetry::TWriterClaim claim(picture);
    if (!image.save(QString::fromStdString(picture), "PNG"))
        throw std::runtime_error(picture + ": cannot write the picture");
}
