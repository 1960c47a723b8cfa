#include "support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace tapwell::test {

Process::Process(std::vector<std::string> args, const std::vector<std::string>& extraEnv,
                 const std::filesystem::path& logFile) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    // Later entries replace earlier ones of the same name.
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
    const std::string log = logFile.string();
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on: the test may have threads. A test that
        // crashes takes the child with it instead of leaving a daemon behind.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open("/dev/null", O_WRONLY);
        if (err < 0 || out < 0 || dup2(err, 2) < 0 || dup2(out, 1) < 0) {
            _exit(127);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    pid_ = child > 0 ? child : -1;
}

Process::~Process() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

int Process::terminate() {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, SIGTERM);
    return waitForExit(std::chrono::seconds(5)).value_or(-1);
}

std::optional<int> Process::waitForExit(std::chrono::milliseconds timeout) {
    using namespace std::chrono_literals;
    if (pid_ <= 0) {
        return -1;
    }
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(20ms);
    }
}

}  // namespace tapwell::test
