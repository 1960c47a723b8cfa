#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

extern char** environ;

namespace tapwell::test {

ChildProcess::ChildProcess(std::vector<std::string> args, const std::vector<std::string>& extraEnv,
                           const std::optional<std::filesystem::path>& logFile,
                           const std::optional<std::filesystem::path>& stdoutFile) {
    // A variable given in `extraEnv` replaces the inherited one: getenv finds the first.
    const auto overridden = [&extraEnv](std::string_view variable) {
        const auto name = variable.substr(0, variable.find('=') + 1);
        return std::any_of(extraEnv.begin(), extraEnv.end(),
                           [&name](const std::string& extra) { return extra.starts_with(name); });
    };
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!overridden(*e)) {
            env.emplace_back(*e);
        }
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (logFile) {
        posix_spawn_file_actions_addopen(&actions, 2, logFile->c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile ? stdoutFile->c_str() : "/dev/null",
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::optional<int> ChildProcess::wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (pid_ > 0) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

int ChildProcess::stop(int signal, double seconds) {
    if (pid_ <= 0) {
        return -1;
    }
    ::kill(pid_, signal);
    if (auto status = wait(seconds)) {
        return *status;
    }
    return -1;  // the destructor kills it
}

}  // namespace tapwell::test
