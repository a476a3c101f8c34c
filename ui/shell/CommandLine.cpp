#include "ui/shell/CommandLine.h"

#include "cmake/TelmiraVersion.h"
#include "ui/window/UprZagig.h"

#include <string_view>

TCommandLine ParseCommandLine(std::span<const char* const> arguments) {
    using TAction = TCommandLine::TAction;
    TCommandLine run;
    for (const std::string_view argument : arguments) {
        if (argument == "--help")
            return {TAction::Help, {}, {}};
        if (argument == "--version")
            return {TAction::Version, {}, {}};
        if (argument.starts_with('-') && argument != "-")
            return {TAction::Refuse, "неизвестный параметр " + std::string(argument), {}};
        if (!run.Recording.empty() || argument.empty())
            return {TAction::Refuse, "лишний аргумент " + std::string(argument), {}};
        run.Recording = argument;
    }
    return run;
}

std::string HelpText() {
    return "Использование: telmira [--help] [--version] [ФАЙЛ.dcc]\n"
           "Запись и просмотр телеметрии контроллера зажигания.\n"
           "\n"
           "  ФАЙЛ.dcc   открыть запись для просмотра, как кнопкой\n"
           "             «Открыть данные для просмотра»\n"
           "  --help     показать эту справку и выйти\n"
           "  --version  показать версию и выйти\n"
           "\n"
           "Код завершения:\n"
           "  0  окно закрыто\n"
           "  1  окно не удалось открыть\n"
           "  2  ошибка в командной строке\n";
}

std::string VersionText() {
    return std::string(MainCaption) + "\nсборка " + TelmiraVersion + "\n";
}
