#include "Application.h"
#include "FileDialogs.h"
#include "Telemetry.h"
#include "UprZagig.h"

int main(int, char** argv) {
    // The program takes no arguments, the toolkit's own options included.
    int appArgc = 1;
    char* appArgv[] = {argv[0], nullptr};
    TApplication app(appArgc, appArgv);
    TSystemFileDialogs dialogs;
    return RunApplication(app, [&dialogs] {
        return std::make_unique<TfrmUprZagig>(telemetry::ProcessLatestValues(), dialogs);
    });
}
