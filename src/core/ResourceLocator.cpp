#include "core/ResourceLocator.h"

#include <cstdlib>
#include <system_error>

namespace tapwell {
namespace {

bool isFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

}  // namespace

std::optional<std::filesystem::path> ResourceLocator::locate(const Candidates& candidates) {
    if (candidates.environment && !candidates.environment->empty()) {
        return std::filesystem::path(*candidates.environment);
    }
    if (candidates.executable && candidates.executable->has_parent_path()) {
        std::filesystem::path installed =
            candidates.executable->parent_path() / ".." / "share" / "tapwell";
        if (isFolder(installed)) {
            return installed.lexically_normal();
        }
    }
    if (candidates.buildTree && !candidates.buildTree->empty() && isFolder(*candidates.buildTree)) {
        return *candidates.buildTree;
    }
    return std::nullopt;
}

ResourceLocator::Candidates ResourceLocator::processCandidates() {
    Candidates candidates;
    if (const char* value = std::getenv("TAPWELL_RESOURCE_DIR")) {
        candidates.environment = std::string(value);
    }
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && executable.is_absolute()) {
        candidates.executable = executable;
    }
#ifdef TAPWELL_BUILD_RESOURCE_DIR
    candidates.buildTree = std::filesystem::path(TAPWELL_BUILD_RESOURCE_DIR);
#endif
    return candidates;
}

std::optional<std::filesystem::path> ResourceLocator::find() {
    return locate(processCandidates());
}

}  // namespace tapwell
