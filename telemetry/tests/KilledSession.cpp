// A live session that records port PORT into RECORDING, recording only, and makes a marker
// every 137 ms, until it is killed: what a killed session leaves is checked by
// CompanionSessionTest.
//   killed_session RECORDING PORT

#include "telemetry/LiveSession.h"
#include "ui/platform/QtWindowThread.h"

#include <QCoreApplication>
#include <QTimer>

#include <string>

namespace {

class TNoPlot : public telemetry::TFramePlot {
public:
    void AddPoints(int, double, std::span<const double>, std::uint32_t) override {}
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    serial::InstallQtWindowThread();
    telemetry::TLatestValues values;
    TNoPlot plot;
    telemetry::TLiveSession session(argv[1], static_cast<std::uint8_t>(std::stoi(argv[2])), values,
                                    plot, nullptr);
    session.AttachHandler(false);
    QTimer marks;
    QObject::connect(&marks, &QTimer::timeout, [&] { session.Companion().AddMarker("метка"); });
    marks.start(137);
    return QCoreApplication::exec();
}
