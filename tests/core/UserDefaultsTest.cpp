#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "core/Base64.h"
#include "core/UserDefaults.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

class UserDefaultsTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path file = dir / "config/tapwell/defaults.json";
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
    EXPECT_FALSE(fs::exists(file) && UserDefaults(file).hasStoredValue("typingVolume"));
}

TEST_F(UserDefaultsTest, FileIsPrivateToTheUser) {
    UserDefaults store(file);
    store.set("k", true);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UserDefaultsTest, NonFiniteNumbersAreRefused) {
    UserDefaults store(file);
    EXPECT_FALSE(store.set("d", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(store.set("d", std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(store.value("d"));
}

TEST_F(UserDefaultsTest, DamagedFileIsMovedAsideAndDefaultsAreUsed) {
    for (const std::string damage : {"{not json", "[1,2,3]", "\"text\"", ""}) {
        TempDir local;
        const fs::path path = local / "defaults.json";
        local.write("defaults.json", damage);
        UserDefaults store(path);
        store.registerDefaults({{"soundsEnabled", true}});
        EXPECT_EQ(store.boolValue("soundsEnabled"), true) << damage;
        EXPECT_FALSE(fs::exists(path)) << "moved aside: " << damage;
        int asideCount = 0;
        for (const auto& entry : fs::directory_iterator(local.path())) {
            if (entry.path().filename().string().starts_with("defaults.json.damaged-")) {
                ++asideCount;
                EXPECT_EQ(local.read(entry.path().filename().string()), damage);
            }
        }
        EXPECT_EQ(asideCount, 1) << damage;
        EXPECT_TRUE(store.set("k", true));
        EXPECT_EQ(UserDefaults(path).boolValue("k"), true);
    }
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
    UserDefaults reread(file);
    EXPECT_EQ(reread.storedValues().size(), 100u);
}

TEST_F(UserDefaultsTest, TwoProcessesWritingDifferentKeysLoseNothing) {
    UserDefaults parentStore(file);
    parentStore.set("seed", true);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        UserDefaults childStore(file);
        bool ok = true;
        for (int i = 0; i < 30; ++i) {
            ok = childStore.set("child-" + std::to_string(i), std::int64_t{i}) && ok;
        }
        _exit(ok ? 0 : 1);
    }
    for (int i = 0; i < 30; ++i) {
        parentStore.set("parent-" + std::to_string(i), std::int64_t{i});
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    UserDefaults reread(file);
    EXPECT_EQ(reread.storedValues().size(), 61u);
}

TEST_F(UserDefaultsTest, UnwritableFolderKeepsTheValueInMemory) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes through permissions";
    }
    fs::create_directories(file.parent_path());
    fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    UserDefaults store(file);
    EXPECT_FALSE(store.set("k", true));
    EXPECT_EQ(store.boolValue("k"), true);
}

TEST(Base64, RoundTripsAndRejectsNonCanonicalText) {
    for (const Bytes& bytes : {Bytes{}, Bytes{0}, Bytes{1, 2}, Bytes{1, 2, 3}, Bytes{255, 254, 253, 0}}) {
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
