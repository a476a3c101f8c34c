#include "Application.h"
#include "FileDialogs.h"
#include "Telemetry.h"
#include "UprZagig.h"

int main(int argc, char** argv) {
    // The one argument the program takes is a recording to view; the toolkit's own options
    // are not taken.
    int appArgc = 1;
    char* appArgv[] = {argv[0], nullptr};
    TApplication app(appArgc, appArgv);
    const QString recording = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    TSystemFileDialogs dialogs;
    return RunApplication(app, [&dialogs, &recording] {
        auto window = std::make_unique<TfrmUprZagig>(telemetry::ProcessLatestValues(), dialogs);
        if (!recording.isEmpty())
            window->OpenRecordingWhenRunning(recording);
        return window;
    });
}
