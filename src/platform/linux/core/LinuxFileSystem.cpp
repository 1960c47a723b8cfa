#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/FileSystem.h"

namespace tapwell {

namespace fs = std::filesystem;

namespace {

std::optional<Error> writeAll(int fd, std::string_view contents, const fs::path& path) {
    const char* data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error::posix(errno, path.string());
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return std::nullopt;
}

fs::path homeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? fs::path(home) : fs::path("/");
}

fs::path xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    // The XDG rules ignore relative paths.
    if (value != nullptr && value[0] == '/') {
        return fs::path(value);
    }
    return homeFolder() / fallback;
}

}  // namespace

std::optional<Error> writeFileAtomically(const fs::path& path, std::string_view contents,
                                         fs::perms permissions) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return Error::posix(errno, folder.string());
    }
    auto fail = [&](Error error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return std::optional<Error>(std::move(error));
    };
    if (::fchmod(fd, static_cast<mode_t>(permissions)) != 0) {
        return fail(Error::posix(errno, temporary));
    }
    if (auto error = writeAll(fd, contents, temporary)) {
        return fail(*error);
    }
    // The data reaches the disk before the rename makes it visible, so a crash or power loss
    // leaves either the old file or the new one, never a torn or empty one.
    if (::fdatasync(fd) != 0) {
        return fail(Error::posix(errno, temporary));
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        return Error::posix(saved, temporary);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        return Error::posix(saved, path.string());
    }
    // The folder is not synced: after a power loss the rename may be undone, which brings back
    // the previous complete file. That costs one save's worth of data, not the file.
    return std::nullopt;
}

ReadResult readFile(const fs::path& path, std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {std::nullopt, Error::posix(errno, path.string())};
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
        ::close(fd);
        return {std::nullopt, Error::posix(EFBIG, path.string())};
    }
    std::string contents;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int saved = errno;
            ::close(fd);
            return {std::nullopt, Error::posix(saved, path.string())};
        }
        if (got == 0) {
            break;
        }
        // The file may have grown since fstat, or not be a regular file at all.
        if (static_cast<std::size_t>(got) > maxBytes - contents.size()) {
            ::close(fd);
            return {std::nullopt, Error::posix(EFBIG, path.string())};
        }
        contents.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return {std::move(contents), Error{}};
}

std::optional<Error> createFolders(const fs::path& folder, fs::perms permissions) {
    struct stat info {};
    fs::path current;
    for (const fs::path& part : folder) {
        current /= part;
        if (::stat(current.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            continue;
        }
        if (::mkdir(current.c_str(), static_cast<mode_t>(permissions)) != 0 && errno != EEXIST) {
            return Error::posix(errno, current.string());
        }
    }
    if (::stat(folder.c_str(), &info) != 0) {
        return Error::posix(errno, folder.string());
    }
    if (!S_ISDIR(info.st_mode)) {
        return Error::posix(ENOTDIR, folder.string());
    }
    return std::nullopt;
}

std::expected<bool, Error> narrowToOwner(const fs::path& path, fs::file_type type) {
    constexpr auto others = fs::perms::group_all | fs::perms::others_all;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    const fs::perms current = status.permissions();
    if (ec || status.type() != type || (current & others) == fs::perms::none ||
        (current & fs::perms::sticky_bit) != fs::perms::none) {
        return false;
    }
    fs::permissions(path, others, fs::perm_options::remove, ec);
    if (ec) {
        return std::unexpected(Error{"posix", ec.value(), path.string() + ": " + ec.message()});
    }
    return true;
}

fs::path dataHome() {
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}
fs::path configHome() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

}  // namespace tapwell

#include <sys/file.h>

namespace tapwell {

std::optional<FileLock> FileLock::acquire(const fs::path& lockFile, Error* error) {
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error != nullptr) {
            *error = Error::posix(errno, lockFile.string());
        }
        return std::nullopt;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            if (error != nullptr) {
                *error = Error::posix(errno, lockFile.string());
            }
            ::close(fd);
            return std::nullopt;
        }
    }
    return FileLock(fd);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileLock::~FileLock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

}  // namespace tapwell
