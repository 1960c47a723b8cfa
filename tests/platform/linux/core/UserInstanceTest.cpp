#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "core/UserInstance.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

class UserInstanceTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    fs::path folder = dir / "run";

    static InstanceRequest request(InstanceRequest::Kind kind, fs::path file = {}) {
        return {kind, std::move(file)};
    }
};

TEST_F(UserInstanceTest, TheSecondStartReachesTheFirst) {
    auto first = UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::reopen));
    ASSERT_TRUE(first.owned);
    std::mutex mutex;
    std::vector<InstanceRequest> received;
    ASSERT_FALSE(first.owned->serve([&](const InstanceRequest& r, UserInstance::Respond respond) {
        {
            std::lock_guard lock(mutex);
            received.push_back(r);
        }
        // Answers may come later, from another thread.
        std::thread([respond, failed = r.kind == InstanceRequest::Kind::deleteStats] {
            respond(InstanceReply{failed ? std::optional<std::string>("disk full") : std::nullopt});
        }).detach();
    }));

    const auto settings =
        UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::openSettings));
    ASSERT_TRUE(settings.reply);
    EXPECT_FALSE(settings.owned);
    EXPECT_FALSE(settings.reply->error);
    const auto exported = UserInstance::reachOrClaim(
        folder, request(InstanceRequest::Kind::exportStats, "/tmp/out put.json"));
    ASSERT_TRUE(exported.reply);
    const auto deleted =
        UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::deleteStats));
    ASSERT_TRUE(deleted.reply);
    EXPECT_EQ(deleted.reply->error, "disk full");
    std::lock_guard lock(mutex);
    EXPECT_EQ(received, (std::vector<InstanceRequest>{
                            request(InstanceRequest::Kind::openSettings),
                            request(InstanceRequest::Kind::exportStats, "/tmp/out put.json"),
                            request(InstanceRequest::Kind::deleteStats)}));
}

TEST_F(UserInstanceTest, ALockHolderThatNeverAnswersKeepsOthersWaitingThenBusy) {
    auto command = UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::deleteStats));
    ASSERT_TRUE(command.owned);  // a command at work: the lock, no socket
    const auto start =
        UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::reopen), 0.2);
    EXPECT_FALSE(start.owned);
    EXPECT_FALSE(start.reply);
    EXPECT_TRUE(start.busy);

    // Once it lets go, the next start runs.
    command.owned.reset();
    EXPECT_TRUE(UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::reopen)).owned);
}

TEST_F(UserInstanceTest, TheSocketOfAKilledProgramDoesNotBlockAStart) {
    // A killed program leaves its socket file; the kernel has released its lock.
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (folder / "instance.socket").string();
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    auto outcome = UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::reopen), 0.2);
    ASSERT_TRUE(outcome.owned);
    EXPECT_FALSE(outcome.owned->serve(
        [](const InstanceRequest&, UserInstance::Respond respond) { respond({}); }));
    EXPECT_TRUE(UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::reopen)).reply);
}

TEST_F(UserInstanceTest, AFolderOfSomeoneElseIsRefused) {
    dir.write("run", "not a folder");
    const auto outcome = UserInstance::reachOrClaim(folder, request(InstanceRequest::Kind::reopen));
    EXPECT_FALSE(outcome.owned);
    EXPECT_TRUE(outcome.error);
    EXPECT_FALSE(outcome.busy);
}

TEST(InstanceRequestCoding, RoundTripsAndRefusesWhatItDoesNotKnow) {
    const InstanceRequest requests[] = {
        {InstanceRequest::Kind::reopen, {}},
        {InstanceRequest::Kind::openOnboarding, {}},
        {InstanceRequest::Kind::exportStats, "/home/a\nb/stats.json"},
    };
    for (const auto& r : requests) {
        EXPECT_EQ(InstanceRequest::decode(r.encode()), r);
    }
    for (const char* bad :
         {"", "{}", R"({"request":"format disk"})",
          R"({"request":"exportStats","file":"relative.json"})", R"({"request":"exportStats"})"}) {
        EXPECT_FALSE(InstanceRequest::decode(bad)) << bad;
    }
    EXPECT_EQ(InstanceReply::decode(InstanceReply{"no space"}.encode())->error, "no space");
    EXPECT_FALSE(InstanceReply::decode(InstanceReply{}.encode())->error);
}

}  // namespace
}  // namespace tapwell
