#include "core/ResourceLocator.h"

#include <cstdlib>
#include <iterator>
#include <system_error>

namespace tapwell {
namespace {

bool isFolder(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// Whether `path` lies inside `root`, comparing whole components of both normal forms.
bool isInside(const std::filesystem::path& path, const std::filesystem::path& root) {
    const std::filesystem::path normalPath = path.lexically_normal();
    const std::filesystem::path normalRoot = root.lexically_normal();
    auto p = normalPath.begin();
    for (auto r = normalRoot.begin(); r != normalRoot.end(); ++r, ++p) {
        if (r->empty() && std::next(r) == normalRoot.end()) {
            break;  // the trailing separator of "/build/"
        }
        if (p == normalPath.end() || *p != *r) {
            return false;
        }
    }
    return true;
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
    const bool builtHere =
        !candidates.buildRoot ||
        (candidates.executable && isInside(*candidates.executable, *candidates.buildRoot));
    if (builtHere && candidates.buildTree && !candidates.buildTree->empty() &&
        isFolder(*candidates.buildTree)) {
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
    // /proc/self/exe is the resolved path; resolve the build tree's the same way.
    candidates.buildRoot = std::filesystem::weakly_canonical(TAPWELL_BUILD_ROOT, error);
    if (error) {
        candidates.buildRoot = std::filesystem::path(TAPWELL_BUILD_ROOT);
    }
#endif
    return candidates;
}

std::optional<std::filesystem::path> ResourceLocator::find() {
    return locate(processCandidates());
}

}  // namespace tapwell
