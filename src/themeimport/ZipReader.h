#pragma once
// Reading a .zip archive, behind an interface: libzip (and the crypto library it pulls in) is only
// needed when a sound pack is imported from an archive, so the program keeps it in a module that
// it loads on the first archive (app/ZipModule.h) and a run that never imports never maps it.
// Tests and the fuzzer install LibzipReader directly.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tapwell {

class ZipReader {
  public:
    struct Entry {
        std::string name;                   // as stored: any separators, may climb out
        std::optional<std::uint64_t> size;  // unpacked, when the archive says
        bool symlink = false;               // stored by a Unix tool as a symbolic link
    };

    struct OpenError {
        // readerMissing: the archive was never looked at (the reader could not be loaded).
        enum class Kind { notReadable, readerMissing };
        Kind kind = Kind::notReadable;
        std::string detail;
    };

    // An entry being unpacked.
    class File {
      public:
        virtual ~File() = default;
        // Up to `size` bytes into `buffer`; 0 at the end. The error is the reader's own text.
        virtual std::expected<std::size_t, std::string> read(char* buffer, std::size_t size) = 0;
    };

    using Opener =
        std::expected<std::unique_ptr<ZipReader>, OpenError> (*)(const std::filesystem::path& path);

    virtual ~ZipReader() = default;
    virtual std::uint64_t entryCount() const = 0;
    virtual std::expected<Entry, std::string> entry(std::uint64_t index) = 0;
    virtual std::expected<std::unique_ptr<File>, std::string> open(std::uint64_t index) = 0;

    // Installs the way archives are opened, before any is. Without one, every archive fails with
    // `readerMissing`.
    static void useOpener(Opener opener);
    static std::expected<std::unique_ptr<ZipReader>, OpenError> open(
        const std::filesystem::path& path);
};

// The module that holds LibzipReader, and its entry: a `ZipModuleEntry` that returns the opener.
inline constexpr const char* zipModuleFile = "libtapwell-zip.so";
inline constexpr const char* zipModuleEntry = "tapwell_zip_module";
using ZipModuleEntry = ZipReader::Opener (*)();

}  // namespace tapwell
