#pragma once
// The files of a sound pack, read from a folder or from a .zip of one, with the lenient lookup
// packs need: the names a pack's config gives often differ from its files in letter case or in
// folders. Guards against hostile archives: entries that climb out of the pack ("..", absolute
// names) or are symbolic links refuse the whole archive, and every read is bounded in size.
// Used on one thread at a time.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapwell {

struct PackLimits {
    std::size_t maxEntries = 20000;                      // files listed in a pack
    std::uint64_t maxFileBytes = 64ull * 1024 * 1024;    // one file, unpacked
    std::uint64_t maxTotalBytes = 512ull * 1024 * 1024;  // everything read, unpacked
    std::uint64_t maxConfigBytes = 1024 * 1024;          // config.json
    int maxDepth = 8;                                    // folder levels walked
};

class PackArchive {
  public:
    // Opens a pack folder, a .zip of one, or the config.json inside a pack folder. Finds the
    // shallowest "config.json" (any letter case); the files the config names are looked up from
    // its folder. Errors are sentences that start with `label`.
    static std::expected<std::unique_ptr<PackArchive>, std::string> open(
        const std::filesystem::path& path, std::string label, const PackLimits& limits = {});
    ~PackArchive();
    PackArchive(const PackArchive&) = delete;
    PackArchive& operator=(const PackArchive&) = delete;

    bool isZip() const;
    const std::string& label() const { return label_; }

    // The text of config.json.
    std::expected<std::string, std::string> readConfig();

    // The entry a config's file name means: the exact path below the config's folder, else the
    // same path in any letter case, else a file of that name (any case) anywhere in the pack,
    // nearest the config's folder first. None for a name that leaves the pack or matches nothing.
    std::optional<std::size_t> find(std::string_view name) const;
    // The entry's path inside the pack ('/'-separated).
    const std::string& entryPath(std::size_t entry) const;

    // A file holding the entry's bytes: the file itself for a folder, a copy unpacked into
    // `scratch` for an archive. Fails when a size limit is crossed or reading fails.
    std::expected<std::filesystem::path, std::string> materialize(
        std::size_t entry, const std::filesystem::path& scratch);

  private:
    struct Impl;
    PackArchive(std::string label, const PackLimits& limits);
    std::expected<void, std::string> chargeBytes(std::uint64_t bytes, const std::string& path,
                                                 std::uint64_t limit);
    std::expected<std::string, std::string> readBytes(std::size_t entry, std::uint64_t limit);

    std::string label_;
    PackLimits limits_;
    std::unique_ptr<Impl> impl_;
    std::uint64_t bytesRead_ = 0;
};

}  // namespace tapwell
