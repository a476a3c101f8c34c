#include "native/Arguments.h"
#include "telemetry/Telemetry.h"
#include "ui/shell/Application.h"
#include "ui/shell/CommandLine.h"
#include "ui/shell/FileDialogs.h"
#include "ui/shell/Settings.h"
#include "ui/window/UprZagig.h"

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include "native/Console.h"
#endif

namespace {

// Prints text and says whether it got out. On Windows the window program has no console of its
// own: its text goes to the console it was started from.
bool Print(std::FILE* stream, const std::string& text) {
#ifdef _WIN32
    return native::WriteStandard(
        stream == stderr ? native::TStandard::Error : native::TStandard::Output, text);
#else
    return std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
#endif
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = native::ProgramArguments(argc, argv);
    std::vector<const char*> argumentTexts;
    for (const std::string& argument : arguments)
        argumentTexts.push_back(argument.c_str());
    const TCommandLine commandLine = ParseCommandLine(argumentTexts);
    switch (commandLine.Action) {
    case TCommandLine::TAction::Help:
        return Print(stdout, HelpText()) ? 0 : 1;
    case TCommandLine::TAction::Version:
        return Print(stdout, VersionText()) ? 0 : 1;
    case TCommandLine::TAction::Refuse:
        Print(stderr, "telmira: " + commandLine.Complaint + "; справка: telmira --help\n");
        return RefusedCommandLineStatus;
    case TCommandLine::TAction::Run:
        break;
    }
    // The toolkit's own options are not the program's: Qt sees none of the command line.
    int appArgc = 1;
    char* appArgv[] = {argv[0], nullptr};
    TApplication app(appArgc, appArgv);
    const QString recording = QString::fromStdString(commandLine.Recording);
    TSettings settings(TSettings::UserFile());
    TSystemFileDialogs systemDialogs;
    TRememberedFolderDialogs dialogs(systemDialogs, settings);
    return RunApplication(app, [&dialogs, &settings, &recording] {
        auto window = std::make_unique<TfrmUprZagig>(telemetry::ProcessLatestValues(), dialogs);
        window->RememberIn(settings);
        if (!recording.isEmpty())
            window->OpenRecordingWhenRunning(recording);
        return window;
    });
}
