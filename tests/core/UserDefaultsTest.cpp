#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Base64.h"
#include "core/FileSystem.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "support/LogLines.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Stands in for the disk: counts the writes and fails them with `failure` while it is set.
struct Disk {
    std::mutex mutex;
    std::condition_variable changed;
    int writes = 0;
    std::optional<int> failure;  // an errno value

    UserDefaults::Options options(double delaySeconds) {
        return {delaySeconds, [this](const fs::path& path, std::string_view text, fs::perms perms) {
                    std::lock_guard lock(mutex);
                    if (failure) {
                        return std::optional<Error>(Error::posix(*failure, path.string()));
                    }
                    ++writes;
                    changed.notify_all();
                    return writeFileAtomically(path, text, perms);
                }};
    }
    int writeCount() {
        std::lock_guard lock(mutex);
        return writes;
    }
};

// The lines the store logs while the object lives.
class LogLines : public test::LogLines {
  public:
    LogLines() : test::LogLines(LogCategory::startup) {}
};

constexpr double never = 3600;  // a write delay no test waits for: flush() writes instead

class UserDefaultsTest : public ::testing::Test {
  protected:
    TempDir dir;
    fs::path file = dir / "config/tapwell/defaults.json";
    Disk disk;
};

TEST_F(UserDefaultsTest, ValuesRoundTripThroughTheFileWithTheirTypes) {
    {
        UserDefaults store(file);
        EXPECT_TRUE(store.set("b", true));
        EXPECT_TRUE(store.set("i", std::int64_t{-7}));
        EXPECT_TRUE(store.set("d", 2.0));
        EXPECT_TRUE(store.set("s", std::string("héllo")));
        EXPECT_TRUE(store.set("x", Bytes{0, 255, 10}));
        EXPECT_TRUE(store.set("t", Date{123456.789}));
    }
    UserDefaults store(file);
    EXPECT_EQ(store.boolValue("b"), true);
    EXPECT_EQ(store.integerValue("i"), -7);
    EXPECT_EQ(store.doubleValue("d"), 2.0);
    EXPECT_FALSE(store.integerValue("d")) << "a double stays a double";
    EXPECT_EQ(store.stringValue("s"), "héllo");
    EXPECT_EQ(store.dataValue("x"), (Bytes{0, 255, 10}));
    EXPECT_EQ(store.dateValue("t"), Date{123456.789});
}

TEST_F(UserDefaultsTest, TypedReadsAnswerOnlyTheirType) {
    UserDefaults store(file);
    store.set("mutedUntil", std::string("tomorrow"));
    EXPECT_FALSE(store.dateValue("mutedUntil"));
    EXPECT_FALSE(store.boolValue("mutedUntil"));
    store.set("n", std::int64_t{3});
    EXPECT_EQ(store.doubleValue("n"), 3.0) << "a double read accepts an integer";
    EXPECT_FALSE(store.boolValue("n"));
    EXPECT_FALSE(store.stringValue("absent"));
}

TEST_F(UserDefaultsTest, RegisteredDefaultsAnswerUntilAValueIsStored) {
    UserDefaults store(file);
    store.registerDefaults({{"typingVolume", 0.7}});
    EXPECT_EQ(store.doubleValue("typingVolume"), 0.7);
    EXPECT_FALSE(store.hasStoredValue("typingVolume"));
    store.set("typingVolume", 0.2);
    EXPECT_EQ(store.doubleValue("typingVolume"), 0.2);
    store.remove("typingVolume");
    EXPECT_EQ(store.doubleValue("typingVolume"), 0.7);
    EXPECT_FALSE(store.flush());
    EXPECT_FALSE(UserDefaults(file).hasStoredValue("typingVolume"));
}

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST_F(UserDefaultsTest, FileAndFolderArePrivateToTheUser) {
    {
        UserDefaults store(file);
        store.set("k", true);
    }
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);

    // Opened with wider permissions (an older version, a copy, a umask of 0): narrowed at once.
    fs::permissions(file.parent_path(), fs::perms::all);
    fs::permissions(file, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                              ~fs::perms::others_exec);
    UserDefaults reopened(file);
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    EXPECT_EQ(reopened.boolValue("k"), true);
}

TEST_F(UserDefaultsTest, RefusedValuesChangeNothing) {
    const std::size_t limit = UserDefaults::maxValueBytes;
    struct Case {
        std::string key;
        DefaultsValue value;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"", true, false},
        {"d", std::numeric_limits<double>::quiet_NaN(), false},
        {"d", -std::numeric_limits<double>::infinity(), false},
        {"t", Date{std::numeric_limits<double>::infinity()}, false},
        {"s", std::string(limit - 1, 'x'), true},
        {"s", std::string(limit, 'x'), false},
        {"x", Bytes(limit - 1, 7), true},
        {"x", Bytes(limit, 7), false},
        {std::string(limit + 1, 'k'), false, false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        UserDefaults store(dir / (std::to_string(i) + ".json"), disk.options(never));
        EXPECT_EQ(!UserDefaults::refusalReason(c.key, c.value), c.accepted) << c.key.size();
        EXPECT_EQ(store.set(c.key, c.value), c.accepted) << c.key.size();
        EXPECT_EQ(store.value(c.key).has_value(), c.accepted) << c.key.size();
    }
}

// `{"k":"aaa..."}`, exactly `bytes` long.
std::string documentOfSize(std::size_t bytes) {
    const std::string frame = R"({"k":""})";
    std::string text = frame;
    text.insert(6, bytes - frame.size(), 'a');
    return text;
}

TEST_F(UserDefaultsTest, DamagedOrOversizedFileIsMovedAsideAndDefaultsAreUsed) {
    const std::string oversized = documentOfSize(UserDefaults::maxFileBytes + 1);
    for (const std::string& damage : {std::string("{not json"), std::string("[1,2,3]"),
                                      std::string("\"text\""), std::string(), oversized}) {
        const std::string label = damage.substr(0, 20);
        TempDir local;
        const fs::path path = local / "defaults.json";
        local.write("defaults.json", damage);
        LogLines log;
        UserDefaults store(path);
        store.registerDefaults({{"soundsEnabled", true}});
        EXPECT_EQ(store.boolValue("soundsEnabled"), true) << label;
        EXPECT_FALSE(store.value("k")) << label;
        EXPECT_FALSE(fs::exists(path)) << "moved aside: " << label;
        int asideCount = 0;
        for (const auto& entry : fs::directory_iterator(local.path())) {
            if (entry.path().filename().string().starts_with("defaults.json.damaged-")) {
                ++asideCount;
                EXPECT_TRUE(local.read(entry.path().filename().string()) == damage) << label;
            }
        }
        EXPECT_EQ(asideCount, 1) << label;
        const auto lines = log.containing("moved to");
        ASSERT_EQ(lines.size(), 1u) << label;
        EXPECT_NE(lines[0].find(path.string()), std::string::npos) << lines[0];
        if (damage.size() > UserDefaults::maxFileBytes) {
            EXPECT_NE(lines[0].find("4 MiB"), std::string::npos) << lines[0];
        }
        EXPECT_TRUE(store.set("k", true));
        EXPECT_FALSE(store.flush());
        EXPECT_EQ(UserDefaults(path).boolValue("k"), true);
    }
}

TEST_F(UserDefaultsTest, FileAtTheSizeLimitIsRead) {
    dir.write("big.json", documentOfSize(UserDefaults::maxFileBytes));
    UserDefaults store(dir / "big.json");
    EXPECT_EQ(store.stringValue("k").value_or("").size(), UserDefaults::maxFileBytes - 8);
}

TEST_F(UserDefaultsTest, UnknownShapesAreIgnoredButKept) {
    fs::create_directories(file.parent_path());
    dir.write("config/tapwell/defaults.json",
              R"({"weird":[1,2],"obj":{"$data":"!!"},"ok":5,"future":{"$date":"x"}})");
    UserDefaults store(file);
    EXPECT_FALSE(store.value("weird"));
    EXPECT_FALSE(store.dataValue("obj"));
    EXPECT_EQ(store.integerValue("ok"), 5);
    store.set("new", true);
    EXPECT_FALSE(store.flush());
    const std::string text = dir.read("config/tapwell/defaults.json");
    EXPECT_NE(text.find("weird"), std::string::npos) << "unknown entries survive a write";
}

TEST_F(UserDefaultsTest, ConcurrentWritersInOneProcessLoseNothing) {
    UserDefaults store(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < 25; ++i) {
                store.set("t" + std::to_string(t) + "-" + std::to_string(i), std::int64_t{i});
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_FALSE(store.flush());
    UserDefaults reread(file);
    EXPECT_EQ(reread.storedValues().size(), 100u);
}

TEST_F(UserDefaultsTest, TwoProcessesWritingDifferentKeysLoseNothing) {
    UserDefaults(file).set("seed", true);
    // Each side opens its store after the fork, so that no thread is forked.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    const std::string side = child == 0 ? "child-" : "parent-";
    bool ok = true;
    {
        UserDefaults store(file, {0, {}});
        for (int i = 0; i < 30; ++i) {
            store.set(side + std::to_string(i), std::int64_t{i});
            ok = !store.flush() && ok;
        }
    }
    if (child == 0) {
        _exit(ok ? 0 : 1);
    }
    EXPECT_TRUE(ok);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    UserDefaults reread(file);
    EXPECT_EQ(reread.storedValues().size(), 61u);
}

TEST_F(UserDefaultsTest, BurstOfSetsIsOneWriteOfTheLastValue) {
    {
        UserDefaults store(file, disk.options(never));
        for (int i = 0; i < 1000; ++i) {
            store.set("typingVolume", i / 1000.0);
            EXPECT_EQ(store.doubleValue("typingVolume"), i / 1000.0) << "reads see it at once";
        }
        EXPECT_EQ(disk.writeCount(), 0);
    }
    EXPECT_EQ(disk.writeCount(), 1) << "written when the store goes";
    EXPECT_EQ(UserDefaults(file).doubleValue("typingVolume"), 0.999);
}

TEST_F(UserDefaultsTest, ChangesAreWrittenAfterTheDelayWithoutAFlush) {
    UserDefaults store(file, disk.options(0));
    store.set("k", std::string("v"));
    std::unique_lock lock(disk.mutex);
    ASSERT_TRUE(
        disk.changed.wait_for(lock, std::chrono::seconds(10), [&] { return disk.writes > 0; }));
    lock.unlock();
    EXPECT_EQ(UserDefaults(file).stringValue("k"), "v");
}

TEST_F(UserDefaultsTest, AnotherProcessChangeBeforeTheWriteIsKept) {
    {
        UserDefaults seed(file);
        seed.set("shared", std::string("old"));
        seed.set("gone", true);
    }
    UserDefaults app(file, disk.options(never));
    app.set("mine", std::int64_t{1});
    app.remove("gone");
    {
        UserDefaults shell(file);  // `tapwell defaults write` in between
        shell.set("theirs", std::int64_t{2});
        shell.set("shared", std::string("new"));
    }
    app.reload();
    EXPECT_EQ(app.integerValue("theirs"), 2);
    EXPECT_EQ(app.integerValue("mine"), 1) << "a pending change survives a reload";
    EXPECT_FALSE(app.value("gone"));

    EXPECT_FALSE(app.flush());
    UserDefaults reread(file);
    EXPECT_EQ(reread.integerValue("mine"), 1);
    EXPECT_EQ(reread.integerValue("theirs"), 2);
    EXPECT_EQ(reread.stringValue("shared"), "new") << "only keys changed here are written";
    EXPECT_FALSE(reread.value("gone"));
}

TEST_F(UserDefaultsTest, FailedWritesLoseNothingAndAreLoggedOnce) {
    {
        UserDefaults seed(file);
        seed.set("old", true);
    }
    const std::string before = dir.read("config/tapwell/defaults.json");
    LogLines log;
    UserDefaults store(file, disk.options(never));
    disk.failure = ENOSPC;
    store.set("a", std::int64_t{1});
    EXPECT_EQ(store.flush()->code, ENOSPC);
    store.set("a", std::int64_t{2});
    store.set("b", true);
    EXPECT_EQ(store.flush()->code, ENOSPC);
    store.remove("old");
    EXPECT_TRUE(store.flush());

    EXPECT_EQ(store.integerValue("a"), 2);
    EXPECT_EQ(store.boolValue("b"), true);
    EXPECT_FALSE(store.value("old"));
    EXPECT_EQ(dir.read("config/tapwell/defaults.json"), before);
    const auto failures = log.containing("save failed");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find(file.string()), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("No space left"), std::string::npos) << failures[0];

    disk.failure.reset();
    EXPECT_FALSE(store.flush());
    EXPECT_EQ(log.containing("saved again").size(), 1u);
    UserDefaults reread(file);
    EXPECT_EQ(reread.integerValue("a"), 2);
    EXPECT_EQ(reread.boolValue("b"), true);
    EXPECT_FALSE(reread.value("old"));
}

TEST_F(UserDefaultsTest, SomethingInTheWayFailsTheWriteUntilItIsGone) {
    const fs::path folder = file.parent_path();
    struct Obstacle {
        const char* name;
        std::function<void()> place;
        fs::path where;
    };
    const std::vector<Obstacle> obstacles = {
        {"a folder in the file's place", [&] { fs::create_directories(file / "inside"); }, file},
        {"a file in the folder's place", [&] { dir.write("config/tapwell", "mine"); }, folder},
    };
    for (const auto& obstacle : obstacles) {
        fs::remove_all(dir / "config");
        obstacle.place();
        UserDefaults store(file, disk.options(never));
        store.set("k", std::int64_t{7});
        EXPECT_TRUE(store.flush()) << obstacle.name;
        EXPECT_EQ(store.integerValue("k"), 7) << obstacle.name;
        EXPECT_TRUE(fs::exists(obstacle.where)) << "left as it was: " << obstacle.name;
        if (fs::is_regular_file(obstacle.where)) {
            EXPECT_EQ(dir.read("config/tapwell"), "mine");
        }
        fs::remove_all(obstacle.where);
        EXPECT_FALSE(store.flush()) << obstacle.name;
        EXPECT_EQ(UserDefaults(file).integerValue("k"), 7) << obstacle.name;
    }
}

TEST_F(UserDefaultsTest, WriteThatWouldOutgrowTheFileLimitIsRefused) {
    UserDefaults store(file, disk.options(never));
    store.set("small", true);
    EXPECT_FALSE(store.flush());
    const Bytes large(UserDefaults::maxValueBytes - 16, 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(store.set("large-" + std::to_string(i), large));
    }
    EXPECT_EQ(store.flush()->code, EFBIG) << "base64 makes four of them larger than the file limit";
    EXPECT_EQ(UserDefaults(file).boolValue("small"), true) << "the file on disk is untouched";
    store.remove("large-0");
    store.remove("large-1");
    EXPECT_FALSE(store.flush());
    EXPECT_EQ(UserDefaults(file).dataValue("large-3"), large);
}

TEST(Base64, RoundTripsAndRejectsNonCanonicalText) {
    for (const Bytes& bytes :
         {Bytes{}, Bytes{0}, Bytes{1, 2}, Bytes{1, 2, 3}, Bytes{255, 254, 253, 0}}) {
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes);
    }
    EXPECT_EQ(base64Encode(Bytes{'M', 'a', 'n'}), "TWFu");
    EXPECT_EQ(base64Encode(Bytes{'M'}), "TQ==");
    for (const char* bad : {"TQ=", "T===", "TR==", "TW=u", "TWF u", "TWFu====", "!!!!"}) {
        EXPECT_FALSE(base64Decode(bad)) << bad;
    }
}

}  // namespace
}  // namespace tapwell
