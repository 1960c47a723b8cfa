#pragma once
// The user's one running Tapwell, and how other tapwell processes reach it. The running program
// holds the instance lock for its whole run and answers requests on a local socket beside the
// lock. The lock goes with the process, so a program that was killed never blocks the next
// start, and its leftover socket is replaced. A command that changes the program's files takes
// the same lock when no program runs, so that none can start while it works.
//
// The lock and the socket live in $XDG_RUNTIME_DIR/tapwell, else in a private folder of /tmp.
// Implemented by the system's adapter (platform/linux/core/LinuxUserInstance.cpp).

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/Error.h"

namespace tapwell {

// What another tapwell process asks of the running program.
struct InstanceRequest {
    enum class Kind { reopen, openSettings, openOnboarding, exportStats, deleteStats };
    Kind kind = Kind::reopen;
    std::filesystem::path file;  // exportStats: where to write, absolute

    bool operator==(const InstanceRequest&) const = default;

    // One line of JSON, without the line end.
    std::string encode() const;
    static std::optional<InstanceRequest> decode(std::string_view line);
};

// The running program's answer: no value on success, else the message of the failure.
struct InstanceReply {
    std::optional<std::string> error;

    std::string encode() const;
    static std::optional<InstanceReply> decode(std::string_view line);
};

class UserInstance {
  public:
    // Answers a request once, from any thread.
    using Respond = std::function<void(InstanceReply)>;
    using Handler = std::function<void(const InstanceRequest&, Respond)>;

    struct Outcome {
        // We hold the lock: no program runs, and none starts until this goes.
        std::unique_ptr<UserInstance> owned;
        // The running program answered.
        std::optional<InstanceReply> reply;
        // Neither: the folder cannot be used, or (`busy`) the lock stayed taken by a process that
        // does not answer (a command at work, a program starting or stopping) for the whole wait.
        std::optional<Error> error;
        bool busy = false;
    };

    static std::filesystem::path defaultFolder();

    // Sends `request` to the running program, or takes the lock when none runs. Waits up to
    // `waitSeconds` for a process that holds the lock without answering.
    static Outcome reachOrClaim(const std::filesystem::path& folder, const InstanceRequest& request,
                                double waitSeconds = 10.0);

    // Stops answering, removes the socket and releases the lock.
    ~UserInstance();
    UserInstance(const UserInstance&) = delete;
    UserInstance& operator=(const UserInstance&) = delete;

    // Starts answering other processes; `handler` runs on the instance's own thread. Returns the
    // error when the socket cannot be opened (the lock is still held).
    std::optional<Error> serve(Handler handler);
    // Waits: no request is taken after it returns; the lock is still held.
    void stopServing();

    struct Impl;

  private:
    explicit UserInstance(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace tapwell
