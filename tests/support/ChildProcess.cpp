#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace tapwell::test {

ChildProcess::ChildProcess(std::vector<std::string> args, const std::vector<std::string>& extraEnv,
                           const std::optional<std::filesystem::path>& logFile,
                           const std::optional<std::filesystem::path>& stdoutFile) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    for (const std::string& entry : extraEnv) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env, [&name](const std::string& e) { return e.starts_with(name); });
        env.push_back(entry);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const std::string log = logFile ? logFile->string() : std::string{};
    const std::string out = stdoutFile ? stdoutFile->string() : std::string{"/dev/null"};
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on: the test may have threads.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        if (!log.empty()) {
            const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (err < 0 || dup2(err, 2) < 0) {
                _exit(127);
            }
        }
        const int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || dup2(outFd, 1) < 0) {
            _exit(127);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    pid_ = child > 0 ? child : -1;
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
    return wait(seconds).value_or(-1);
}

int ChildProcess::terminate() {
    return stop(SIGTERM);
}

}  // namespace tapwell::test
