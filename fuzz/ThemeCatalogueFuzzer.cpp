// The catalogue's folder reader: a resource folder and a user themes folder laid out from the
// input, then scanned, validated and sorted for display as at start-up.
//
// Input: records "@@ <path>\n<content>", each content running up to the next "\n@@ ". A path
// starting "r/" lies in the resource folder, any other in the user's themes folder; a path ending
// in "/" is a folder. Paths that would leave the scratch folder are skipped.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "themes/SndfileReader.h"
#include "themes/ThemeManager.h"

using namespace tapwell;

namespace {

constexpr std::string_view marker = "@@ ";
constexpr std::size_t maxRecords = 64;

bool isSafe(std::string_view path) {
    if (path.empty() || path.starts_with('/')) {
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            return false;
        }
        start = end + 1;
    }
    return path.find('\0') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool readsOtherFormats = [] {
        AudioFileReader::useOpener(&SndfileReader::openFile);
        return true;
    }();
    (void)readsOtherFormats;
    const std::string_view text = fuzz::asText(data, size);
    const std::filesystem::path& scratch = fuzz::freshScratchFolder();
    const std::filesystem::path resources = scratch / "r";
    const std::filesystem::path user = scratch / "u";
    std::filesystem::create_directories(resources);

    std::size_t at = text.starts_with(marker) ? 0 : text.find(std::string("\n") + marker.data());
    for (std::size_t records = 0; at != std::string_view::npos && records < maxRecords; ++records) {
        at += text[at] == '\n' ? 1 : 0;
        const std::size_t lineEnd = text.find('\n', at);
        const std::string_view path = text.substr(
            at + marker.size(),
            (lineEnd == std::string_view::npos ? text.size() : lineEnd) - at - marker.size());
        const std::size_t contentStart =
            lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
        const std::size_t next = text.find(std::string("\n") + marker.data(), contentStart);
        const std::string_view content = text.substr(
            contentStart, (next == std::string_view::npos ? text.size() : next) - contentStart);
        at = next;
        if (!isSafe(path)) {
            continue;
        }
        const std::filesystem::path target =
            path.starts_with("r/") ? resources / path.substr(2) : user / path;
        std::error_code ignored;
        if (path.ends_with('/')) {
            std::filesystem::create_directories(target, ignored);
        } else if (!std::filesystem::is_directory(target, ignored)) {
            fuzz::writeBytes(target, content);
        }
    }

    auto catalogue = ThemeManager::create(resources, user);
    if (!catalogue) {
        return 0;
    }
    for (const ThemeEntry& entry : catalogue->entries) {
        FUZZ_CHECK(entry.loaded.has_value() != entry.failure.has_value());
        FUZZ_CHECK(!entry.loaded || (entry.theme && *entry.theme == entry.loaded->theme));
    }
    sortForDisplay(catalogue->entries);
    return 0;
}
