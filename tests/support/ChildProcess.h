#pragma once
// A program started by a test: killed (and reaped) when the object goes, and killed by the system
// when the test process dies first, so no daemon outlives a crashed test.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tapwell::test {

class ChildProcess {
  public:
    // Starts `args[0]` (a path) with the test's environment, `extraEnv` ("NAME=value") replacing or
    // adding variables (later entries win). Standard output goes to `stdoutFile` (or /dev/null),
    // standard error to `logFile` (or the test's). `running()` is false when no process could be
    // created; a program that cannot be executed ends at once with status 127.
    ChildProcess(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {},
                 const std::optional<std::filesystem::path>& logFile = {},
                 const std::optional<std::filesystem::path>& stdoutFile = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Sends `signal` and waits up to `seconds` for the exit; returns the exit status, or -1 when
    // it did not end in time (the destructor kills it) or ended by a signal.
    int stop(int signal, double seconds = 5.0);
    // Asks the program to quit (SIGTERM): stop(SIGTERM).
    int terminate();
    // Waits up to `seconds` for the program to end by itself; none when it did not.
    std::optional<int> wait(double seconds);

  private:
    pid_t pid_ = -1;
};

}  // namespace tapwell::test
