#pragma once
// A program run as a child process for the tests: standard output and error
// go to files, the child can be waited for with a bound (a hang fails the
// test instead of stalling the suite), signalled, and its peak resident
// memory comes from the kernel's accounting of the child. runShell runs a
// shell command line through it and hands back what it printed.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scratch_dir.h"

extern char** environ;

namespace zor::test {

// A whole file as text; empty when it cannot be read.
inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ChildProcess {
public:
    // Runs `arguments` (the program first) in `folder` with `environment`
    // entries ("NAME=value") added; output goes to folder/NAME.out and .err.
    ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                 const std::string& name, const std::vector<std::string>& environment = {})
        : out_(folder / (name + ".out")), err_(folder / (name + ".err")) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> env = environment;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);  // the first of a name wins
        std::vector<char*> argv, envp;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            wait(std::chrono::seconds(10));
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    bool running() const { return pid_ > 0 && !ended_; }
    void signal(int number) const {
        if (running()) ::kill(pid_, number);
    }

    // Waits until `done` holds for the standard error text, the child ends
    // or the time is up; true when `done` held.
    template <class Condition>
    bool waitForError(Condition done, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (done(errors())) return true;
            if (!poll()) return done(errors());
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Waits for the end; false when the child was still running at the limit.
    bool wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (poll()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    // Valid once ended.
    int status() const { return status_; }
    bool exitedWith(int code) const { return ended_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code; }
    bool killedBy(int number) const { return ended_ && WIFSIGNALED(status_) && WTERMSIG(status_) == number; }
    long peakKiB() const { return usage_.ru_maxrss; }

    std::string output() const { return read(out_); }
    std::string errors() const { return read(err_); }

private:
    // True while the child runs.
    bool poll() {
        if (!running()) return false;
        if (wait4(pid_, &status_, WNOHANG, &usage_) == pid_) ended_ = true;
        return !ended_;
    }
    static std::string read(const std::filesystem::path& path) { return readText(path); }

    std::filesystem::path out_, err_;
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0;
    rusage usage_{};
};

// A description of how a child ended, for failure messages.
inline std::string describeEnd(const ChildProcess& child) {
    if (child.running()) return "still running";
    const int s = child.status();
    if (WIFEXITED(s)) return "exit status " + std::to_string(WEXITSTATUS(s));
    if (WIFSIGNALED(s)) return "killed by signal " + std::to_string(WTERMSIG(s));
    return "status " + std::to_string(s);
}

// How a shell command ended and what it printed.
struct ShellRun {
    int status = -1;  // the exit status; -1 when killed, hung or not started
    std::string out;  // standard output (with standard error when merged)
    std::string err;
};

enum class Streams { Separate, Merged };

// Runs `command` with /bin/sh in `folder` (its output in folder/NAME.out and
// .err; without a folder, in a scratch folder of its own), waiting at most
// `limit`; a child still running then is killed.
inline ShellRun runShell(const std::string& command, const std::filesystem::path& folder = {},
                         Streams streams = Streams::Merged, const std::string& name = "shell",
                         std::chrono::milliseconds limit = std::chrono::minutes(10)) {
    std::optional<ScratchDir> own;
    if (folder.empty()) own.emplace("shell-" + name);
    ChildProcess child({"/bin/sh", "-c", streams == Streams::Merged ? "exec 2>&1; " + command : command},
                       own ? own->path() : folder, name);
    ShellRun run;
    if (!child.started()) return run;
    if (child.wait(limit) && WIFEXITED(child.status())) run.status = WEXITSTATUS(child.status());
    run.out = child.output();
    run.err = child.errors();
    return run;
}

}  // namespace zor::test
