#include "themeimport/PackArchive.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <system_error>

#include "themeimport/ZipReader.h"

namespace tapwell {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view configName = "config.json";

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return result;
}

std::string_view baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view folderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

// '/'-separated, no "./" steps or doubled separators; none when the name leaves the pack.
std::optional<std::string> normalised(std::string_view name) {
    std::string path(name);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path.front() == '/' || (path.size() > 1 && path[1] == ':')) {
        return std::nullopt;
    }
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string_view part(path.data() + start, end - start);
        if (part == "..") {
            return std::nullopt;
        }
        if (!part.empty() && part != ".") {
            if (!result.empty()) {
                result += '/';
            }
            result += part;
        }
        start = end + 1;
    }
    if (result.empty()) {
        return std::nullopt;
    }
    return result;
}

std::string sizeText(std::uint64_t bytes) {
    return bytes % (1024 * 1024) == 0 ? fmt::format("{} MiB", bytes / (1024 * 1024))
                                      : fmt::format("{} KiB", bytes / 1024);
}

std::size_t depthOf(std::string_view path) {
    return static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
}

}  // namespace

struct PackArchive::Impl {
    struct Entry {
        std::string path;  // inside the pack, '/'-separated
        std::uint64_t size = 0;
        std::uint64_t zipIndex = 0;
    };

    fs::path folder;                 // a folder pack's root
    std::unique_ptr<ZipReader> zip;  // an archive pack
    std::vector<Entry> entries;
    std::size_t config = 0;  // entry of config.json
    std::string base;        // folder of config.json inside the pack, with a trailing '/'
};

PackArchive::PackArchive(std::string label, const PackLimits& limits)
    : label_(std::move(label)), limits_(limits), impl_(std::make_unique<Impl>()) {}

PackArchive::~PackArchive() = default;

bool PackArchive::isZip() const {
    return impl_->zip != nullptr;
}

std::expected<std::unique_ptr<PackArchive>, std::string> PackArchive::open(
    const fs::path& path, std::string label, const PackLimits& limits) {
    std::unique_ptr<PackArchive> pack(new PackArchive(std::move(label), limits));
    Impl& impl = *pack->impl_;
    auto fail = [&](std::string message) {
        return std::unexpected(fmt::format("{}: {}", pack->label_, message));
    };

    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        return fail("no such file or folder; give the path of a sound pack folder or .zip");
    }
    fs::path folder = path;
    if (fs::is_regular_file(status) && lowered(path.filename().string()) == configName) {
        folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    }

    if (fs::is_directory(fs::status(folder, error))) {
        impl.folder = folder;
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                            error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it.depth() >= limits.maxDepth) {
                it.disable_recursion_pending();
            }
            std::error_code entryError;
            // Links are never followed: a pack's sounds are its own files.
            const fs::file_status entryStatus = it->symlink_status(entryError);
            if (entryError || !fs::is_regular_file(entryStatus)) {
                continue;
            }
            if (impl.entries.size() >= limits.maxEntries) {
                return fail(
                    fmt::format("holds more than {} files; give the folder of one sound "
                                "pack (the one with config.json)",
                                limits.maxEntries));
            }
            const std::uintmax_t size = it->file_size(entryError);
            impl.entries.push_back({it->path().lexically_relative(folder).generic_string(),
                                    entryError ? 0 : static_cast<std::uint64_t>(size), 0});
        }
        if (error) {
            return fail(fmt::format("cannot be read ({}); check its permissions", error.message()));
        }
    } else if (fs::is_regular_file(status)) {
        auto opened = ZipReader::open(path);
        if (!opened && opened.error().kind == ZipReader::OpenError::Kind::readerMissing) {
            return fail(
                fmt::format("cannot be read: this installation of Tapwell cannot open .zip "
                            "archives ({}); unpack the archive and import the folder",
                            opened.error().detail));
        }
        if (!opened) {
            return fail(
                fmt::format("is neither a folder nor a readable .zip archive ({}); give "
                            "the path of a sound pack folder or .zip",
                            opened.error().detail));
        }
        impl.zip = std::move(*opened);
        const std::uint64_t count = impl.zip->entryCount();
        if (count > limits.maxEntries) {
            return fail(
                fmt::format("holds more than {} entries; a sound pack is far smaller, so "
                            "the archive is refused",
                            limits.maxEntries));
        }
        for (std::uint64_t index = 0; index < count; ++index) {
            auto stat = impl.zip->entry(index);
            if (!stat) {
                return fail(
                    fmt::format("entry {} of the archive cannot be read ({}); the "
                                "archive may be damaged, try unpacking it by hand",
                                index, stat.error()));
            }
            const std::string& name = stat->name;
            auto safe = normalised(name);
            if (!safe) {
                return fail(
                    fmt::format("the archive entry \"{}\" points outside the pack; "
                                "such an archive is refused, unpack it by hand and "
                                "import the folder if you trust it",
                                name));
            }
            if (stat->symlink) {
                return fail(
                    fmt::format("the archive entry \"{}\" is a symbolic link; such an "
                                "archive is refused, unpack it by hand and import the "
                                "folder if you trust it",
                                name));
            }
            if (name.ends_with('/') || name.ends_with('\\')) {
                continue;  // a folder
            }
            // Resource forks that some archivers add beside every file.
            if (safe->starts_with("__MACOSX/")) {
                continue;
            }
            impl.entries.push_back({*safe, stat->size.value_or(0), index});
        }
    } else {
        return fail(
            "is neither a folder nor a .zip archive; give the path of a sound pack "
            "folder or .zip");
    }

    std::vector<std::size_t> configs;
    for (std::size_t i = 0; i < impl.entries.size(); ++i) {
        if (lowered(baseName(impl.entries[i].path)) == configName) {
            configs.push_back(i);
        }
    }
    if (configs.empty()) {
        return fail(
            "holds no config.json, so it is not a sound pack; give the folder (or .zip) "
            "that has config.json next to the sounds");
    }
    std::sort(configs.begin(), configs.end(), [&](std::size_t a, std::size_t b) {
        const std::string& pa = impl.entries[a].path;
        const std::string& pb = impl.entries[b].path;
        return std::pair{depthOf(pa), pa} < std::pair{depthOf(pb), pb};
    });
    if (configs.size() > 1 &&
        depthOf(impl.entries[configs[0]].path) == depthOf(impl.entries[configs[1]].path)) {
        return fail(fmt::format("holds several packs ({} and {}); import them one at a time",
                                impl.entries[configs[0]].path, impl.entries[configs[1]].path));
    }
    impl.config = configs[0];
    impl.base = std::string(folderOf(impl.entries[impl.config].path));
    return pack;
}

std::expected<void, std::string> PackArchive::chargeBytes(std::uint64_t bytes,
                                                          const std::string& path,
                                                          std::uint64_t limit) {
    if (bytes > limit) {
        return std::unexpected(
            fmt::format("{}: {} is larger than {}, more than such a file ever is, so the pack "
                        "is refused",
                        label_, path, sizeText(limit)));
    }
    if (bytesRead_ + bytes > limits_.maxTotalBytes) {
        return std::unexpected(fmt::format(
            "{}: its files add up to more than {}; no sound pack is that big, so it is refused",
            label_, sizeText(limits_.maxTotalBytes)));
    }
    bytesRead_ += bytes;
    return {};
}

std::expected<std::string, std::string> PackArchive::readBytes(std::size_t index,
                                                               std::uint64_t limit) {
    const Impl::Entry& entry = impl_->entries.at(index);
    if (auto charged = chargeBytes(entry.size, entry.path, limit); !charged) {
        return std::unexpected(charged.error());
    }
    std::string bytes;
    if (!isZip()) {
        std::ifstream in(impl_->folder / entry.path, std::ios::binary);
        // One byte more than listed shows a file that grew meanwhile; it is never read on.
        bytes.resize(static_cast<std::size_t>(entry.size) + 1);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (in.bad() || !in.is_open()) {
            return std::unexpected(
                fmt::format("{}: {} cannot be read; check its permissions", label_, entry.path));
        }
        if (static_cast<std::uint64_t>(in.gcount()) != entry.size) {
            return std::unexpected(
                fmt::format("{}: {} changed while it was read; try again", label_, entry.path));
        }
        bytes.resize(static_cast<std::size_t>(entry.size));
        return bytes;
    }
    auto file = impl_->zip->open(entry.zipIndex);
    if (!file) {
        return std::unexpected(
            fmt::format("{}: {} cannot be unpacked ({}); the archive may be "
                        "damaged or encrypted, try unpacking it by hand",
                        label_, entry.path, file.error()));
    }
    std::vector<char> chunk(64 * 1024);
    std::optional<std::string> failure;
    for (;;) {
        const auto read = (*file)->read(chunk.data(), chunk.size());
        if (!read) {
            failure = fmt::format(
                "{}: {} cannot be unpacked ({}); the archive may be damaged, "
                "try unpacking it by hand",
                label_, entry.path, read.error());
            break;
        }
        if (*read == 0) {
            break;
        }
        // The declared size may lie; what is unpacked is counted as it comes.
        if (bytes.size() + *read > entry.size) {
            failure = fmt::format(
                "{}: {} unpacks to more than its archive entry says; the "
                "archive is damaged or hostile and is refused",
                label_, entry.path);
            break;
        }
        bytes.append(chunk.data(), *read);
    }
    if (failure) {
        return std::unexpected(*failure);
    }
    return bytes;
}

std::expected<std::string, std::string> PackArchive::readConfig() {
    return readBytes(impl_->config, limits_.maxConfigBytes);
}

std::optional<std::size_t> PackArchive::find(std::string_view name) const {
    auto path = normalised(name);
    if (!path) {
        return std::nullopt;
    }
    const std::string wanted = impl_->base + *path;
    const auto& entries = impl_->entries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].path == wanted) {
            return i;
        }
    }
    const std::string wantedLower = lowered(wanted);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (lowered(entries[i].path) == wantedLower) {
            return i;
        }
    }
    const std::string file = lowered(baseName(*path));
    std::optional<std::size_t> best;
    auto rank = [&](std::size_t i) {
        const std::string& p = entries[i].path;
        return std::tuple{!p.starts_with(impl_->base), depthOf(p), p};
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (lowered(baseName(entries[i].path)) == file && (!best || rank(i) < rank(*best))) {
            best = i;
        }
    }
    return best;
}

const std::string& PackArchive::entryPath(std::size_t entry) const {
    return impl_->entries.at(entry).path;
}

std::expected<fs::path, std::string> PackArchive::materialize(std::size_t index,
                                                              const fs::path& scratch) {
    const Impl::Entry& entry = impl_->entries.at(index);
    if (!isZip()) {
        if (auto charged = chargeBytes(entry.size, entry.path, limits_.maxFileBytes); !charged) {
            return std::unexpected(charged.error());
        }
        return impl_->folder / entry.path;
    }
    auto bytes = readBytes(index, limits_.maxFileBytes);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    // Named by index: the entry's own name may hold anything; the extension helps the decoder.
    const fs::path target =
        scratch / fmt::format("{}{}", index, lowered(fs::path(entry.path).extension().string()));
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    out.close();
    if (!out) {
        return std::unexpected(
            fmt::format("{}: cannot write a temporary copy of {} to {}; check "
                        "the free space there",
                        label_, entry.path, scratch.string()));
    }
    return target;
}

}  // namespace tapwell
