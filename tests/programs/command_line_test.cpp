#include "cmake/TelmiraVersion.h"
#include "tests/support/RunProgram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The command lines of the three programs: --help and --version answer on standard output
// with status 0; a wrong command line is refused in one line on standard error, with status 2.
namespace {

struct TCommandLineCase {
    const char* program;
    std::vector<std::string> arguments;
    std::string said; // the start of standard output, or the refusal's reason after the name
};

const std::string Version = TelmiraVersion;

// Help and version start, before anything else, the way help2man reads them.
const TCommandLineCase Answered[] = {
    {"telmira", {"--help"}, "Использование: telmira [--help] [--version] [ФАЙЛ.dcc]\n"},
    {"telmira", {"run.dcc", "--help"}, "Использование: telmira"},
    {"telmira", {"--help", "--bogus"}, "Использование: telmira"},
    {"telmira", {"--version"}, "TELMIRA ver 1.6\nсборка " + Version + "\n"},
    {"telmira-dcc", {"--help"}, "Usage: telmira-dcc COMMAND FILE.dcc"},
    {"telmira-dcc", {"png", "run.dcc", "--help"}, "Usage: telmira-dcc"},
    {"telmira-dcc", {"--version"}, "telmira-dcc " + Version + "\n"},
    {"telmira-sim", {"--help"}, "Usage: telmira-sim --out FILE.dcc"},
    {"telmira-sim", {"-h"}, "Usage: telmira-sim"},
    {"telmira-sim", {"--port", "3", "--version"}, "telmira-sim " + Version + "\n"},
};

const TCommandLineCase Refused[] = {
    {"telmira", {"--bogus", "--help"}, "неизвестный параметр --bogus"},
    {"telmira", {"-platform", "offscreen"}, "неизвестный параметр -platform"},
    {"telmira", {"a.dcc", "b.dcc"}, "лишний аргумент b.dcc"},
    {"telmira-dcc", {}, "a command is needed"},
    {"telmira-dcc", {"frames", "run.dcc"}, "unknown command frames"},
    {"telmira-dcc", {"csv", "run.dcc", "--bogus"}, "unknown option --bogus"},
    {"telmira-dcc", {"csv"}, "csv needs FILE.dcc alone"},
    {"telmira-dcc", {"info", "a.dcc", "b.dcc"}, "info needs FILE.dcc alone"},
    {"telmira-dcc", {"png", "run.dcc"}, "png needs FILE.dcc and OUT.png"},
    {"telmira-dcc", {"png", "run.dcc", "out.png", "--size"}, "--size needs a value"},
    {"telmira-dcc", {"png", "run.dcc", "out.png", "--size", "0x5"}, "--size takes WIDTHxHEIGHT"},
    {"telmira-dcc", {"info", "run.dcc", "--size", "5x5"}, "--size is for png"},
    {"telmira-sim", {"--bogus"}, "unknown option --bogus"},
    {"telmira-sim", {"--port", "1", "extra"}, "unexpected argument extra"},
    {"telmira-sim", {"--port"}, "--port needs a value"},
    {"telmira-sim", {"--out", "run.dcc", "--frames", "many"}, "--frames: not a number: many"},
    {"telmira-sim", {"--out", "run.dcc"}, "--out needs --frames"},
    {"telmira-sim", {"--port", "0"}, "--port takes 1 to 255"},
    {"telmira-sim", {"--port", "1", "--pause-at", "2"}, "--pause-at and --pause-for go together"},
    {"telmira-sim", {"--out", "r.dcc", "--frames", "9", "--pause-at", "1", "--pause-for", "1"},
     "--pause-at is for --port"},
};

TProgramRun RunCase(const TCommandLineCase& c) {
    return RunProgram(std::string(TELMIRA_BIN_DIR) + "/" + c.program, c.arguments);
}

std::string Name(const TCommandLineCase& c) {
    std::string name = c.program;
    for (const std::string& argument : c.arguments)
        name += " " + argument;
    return name;
}

TEST(CommandLine, HelpAndVersionAnswerOnStandardOutputWithStatusZero) {
    for (const TCommandLineCase& c : Answered) {
        SCOPED_TRACE(Name(c));
        const TProgramRun run = RunCase(c);
        EXPECT_EQ(run.Status, 0);
        EXPECT_EQ(run.Out.substr(0, c.said.size()), c.said);
        EXPECT_EQ(run.Err, "");
    }
}

TEST(CommandLine, AWrongCommandLineIsRefusedInOneLineWithStatusTwo) {
    for (const TCommandLineCase& c : Refused) {
        SCOPED_TRACE(Name(c));
        const TProgramRun run = RunCase(c);
        EXPECT_EQ(run.Status, 2);
        EXPECT_EQ(run.Out, "");
        const std::string start = std::string(c.program) + ": " + c.said;
        EXPECT_EQ(run.Err.substr(0, start.size()), start);
        EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
        EXPECT_NE(run.Err.find(std::string(c.program) + " --help"), std::string::npos)
            << "the refusal says where help is";
    }
}

} // namespace
