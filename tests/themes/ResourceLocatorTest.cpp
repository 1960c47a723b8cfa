#include <gtest/gtest.h>

#include <filesystem>

#include "core/ResourceLocator.h"
#include "support/TempDir.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

class ResourceLookup : public ::testing::Test {
  protected:
    test::TempDir root;
    fs::path executable = root / "prefix" / "bin" / "tapwell";
    fs::path installed = root / "prefix" / "share" / "tapwell";
    fs::path buildTree = root / "build" / "share" / "tapwell";

    void SetUp() override {
        fs::create_directories(executable.parent_path());
        fs::create_directories(installed);
        fs::create_directories(buildTree);
    }
};

TEST_F(ResourceLookup, EnvironmentWinsEvenWhenTheFolderIsMissing) {
    ResourceLocator::Candidates candidates{"/nowhere/resources", executable, buildTree};
    EXPECT_EQ(ResourceLocator::locate(candidates), fs::path("/nowhere/resources"));
}

TEST_F(ResourceLookup, EmptyEnvironmentValueIsIgnored) {
    ResourceLocator::Candidates candidates{"", executable, buildTree};
    EXPECT_EQ(ResourceLocator::locate(candidates), installed);
}

TEST_F(ResourceLookup, InstalledFolderBeforeBuildTree) {
    EXPECT_EQ(ResourceLocator::locate({std::nullopt, executable, buildTree}), installed);
    fs::remove(installed);
    EXPECT_EQ(ResourceLocator::locate({std::nullopt, executable, buildTree}), buildTree);
    fs::remove(buildTree);
    EXPECT_EQ(ResourceLocator::locate({std::nullopt, executable, buildTree}), std::nullopt);
    EXPECT_EQ(ResourceLocator::locate({}), std::nullopt);
}

TEST_F(ResourceLookup, ProcessCandidatesReadTheEnvironmentAndExecutable) {
    test::ScopedEnv env("TAPWELL_RESOURCE_DIR", root.path().c_str());
    ResourceLocator::Candidates candidates = ResourceLocator::processCandidates();
    EXPECT_EQ(candidates.environment, root.path().string());
    ASSERT_TRUE(candidates.executable);
    EXPECT_TRUE(fs::exists(*candidates.executable));
    EXPECT_TRUE(candidates.buildTree);
    EXPECT_EQ(ResourceLocator::find(), root.path());
}

}  // namespace
}  // namespace tapwell
