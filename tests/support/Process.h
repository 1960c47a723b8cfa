#pragma once
// A child process for end-to-end tests: started with extra environment variables, its standard
// error written to a file, killed when the object goes unless it has ended, and killed by the
// system when the test process dies first.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tapwell::test {

class Process {
  public:
    // Runs args[0] (a path) with the test's environment plus `extraEnv` ("NAME=value", later
    // entries win); standard output is discarded, standard error goes to `logFile`. `running()`
    // is false when no process could be created; a program that cannot be executed ends at once
    // with status 127.
    Process(std::vector<std::string> args, const std::vector<std::string>& extraEnv,
            const std::filesystem::path& logFile);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Asks the program to quit (SIGTERM) and returns its exit status; -1 when it did not end
    // within five seconds (it is then killed) or ended by a signal.
    int terminate();
    // Waits up to `timeout` for the program to end by itself: its exit status, -1 when a signal
    // ended it, none while it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

  private:
    pid_t pid_ = -1;
};

}  // namespace tapwell::test
