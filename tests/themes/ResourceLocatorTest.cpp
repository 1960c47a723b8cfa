#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

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

TEST_F(ResourceLookup, BuildTreeServesOnlyProgramsInsideIt) {
    fs::remove(installed);
    const fs::path buildRoot = root / "build";
    const std::vector<std::pair<std::optional<fs::path>, std::optional<fs::path>>> cases = {
        {executable, std::nullopt},  // an installed copy whose prefix lost its share folder
        {buildRoot / "src" / "app" / "tapwell", buildTree},
        {root / "build2" / "tapwell", std::nullopt},  // a sibling that only starts alike
        {std::nullopt, std::nullopt},
    };
    for (const auto& [program, expected] : cases) {
        for (const fs::path& rootForm : {buildRoot, buildRoot / ""}) {
            EXPECT_EQ(ResourceLocator::locate({std::nullopt, program, buildTree, rootForm}),
                      expected)
                << program.value_or("(none)") << " against " << rootForm;
        }
    }
}

TEST_F(ResourceLookup, ProcessCandidatesReadTheEnvironmentAndExecutable) {
    test::ScopedEnv env("TAPWELL_RESOURCE_DIR", root.path().c_str());
    ResourceLocator::Candidates candidates = ResourceLocator::processCandidates();
    EXPECT_EQ(candidates.environment, root.path().string());
    ASSERT_TRUE(candidates.executable);
    EXPECT_TRUE(fs::exists(*candidates.executable));
    EXPECT_TRUE(candidates.buildTree);
    // This test program runs from the build tree, so the build tree's folder serves it.
    candidates.environment.reset();
    EXPECT_EQ(ResourceLocator::locate(candidates), candidates.buildTree);
    EXPECT_EQ(ResourceLocator::find(), root.path());
}

}  // namespace
}  // namespace tapwell
