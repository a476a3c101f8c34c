#include "native/Arguments.h"
#include "telemetry/Telemetry.h"
#include "ui/shell/Application.h"
#include "ui/shell/CommandLine.h"
#include "ui/shell/FileDialogs.h"
#include "ui/window/UprZagig.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = native::ProgramArguments(argc, argv);
    std::vector<const char*> argumentTexts;
    for (const std::string& argument : arguments)
        argumentTexts.push_back(argument.c_str());
    const TCommandLine commandLine = ParseCommandLine(argumentTexts);
    switch (commandLine.Action) {
    case TCommandLine::TAction::Help:
        std::fputs(HelpText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case TCommandLine::TAction::Version:
        std::fputs(VersionText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case TCommandLine::TAction::Refuse:
        std::fprintf(stderr, "telmira: %s; справка: telmira --help\n",
                     commandLine.Complaint.c_str());
        return RefusedCommandLineStatus;
    case TCommandLine::TAction::Run:
        break;
    }
    // The toolkit's own options are not the program's: Qt sees none of the command line.
    int appArgc = 1;
    char* appArgv[] = {argv[0], nullptr};
    TApplication app(appArgc, appArgv);
    const QString recording = QString::fromStdString(commandLine.Recording);
    TSystemFileDialogs dialogs;
    return RunApplication(app, [&dialogs, &recording] {
        auto window = std::make_unique<TfrmUprZagig>(telemetry::ProcessLatestValues(), dialogs);
        if (!recording.isEmpty())
            window->OpenRecordingWhenRunning(recording);
        return window;
    });
}
