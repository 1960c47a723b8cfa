#pragma once
// A program started by a test, killed (and reaped) when the object goes.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tapwell::test {

class ChildProcess {
  public:
    // Starts `args[0]` with the test's environment, `extraEnv` ("NAME=value") replacing or adding
    // variables. Standard output goes to `stdoutFile` (or /dev/null), standard error to `logFile`
    // (or the test's).
    ChildProcess(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {},
                 const std::optional<std::filesystem::path>& logFile = {},
                 const std::optional<std::filesystem::path>& stdoutFile = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Sends `signal` and waits up to `seconds` for the exit; returns the exit status, or -1 when
    // it had to be killed or ended by a signal.
    int stop(int signal, double seconds = 5.0);
    // Waits up to `seconds` for the program to end by itself; none when it did not.
    std::optional<int> wait(double seconds);

  private:
    pid_t pid_ = -1;
};

}  // namespace tapwell::test
