#include "tests/support/RunProgram.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

struct TCloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TCloseFile>;

// Files rather than pipes, so that neither stream can fill up and stall the program.
std::string ReadAll(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, n);
    return text;
}

class TSpawnActions {
public:
    TSpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~TSpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

} // namespace

TProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    TProgramRun run;
    const TFile out(std::tmpfile());
    const TFile err(std::tmpfile());
    if (!out || !err)
        return run;
    TSpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.Get(), ::fileno(out.get()), 1);
    ::posix_spawn_file_actions_adddup2(actions.Get(), ::fileno(err.get()), 2);

    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), actions.Get(), nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return run;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Out = ReadAll(out.get());
    run.Err = ReadAll(err.get());
    return run;
}
