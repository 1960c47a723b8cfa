#include "themeimport/LibzipReader.h"

#include <zip.h>

namespace tapwell {
namespace {

// The Unix file-type bits that zip tools store in the upper half of an entry's external
// attributes: the same values as a stat mode.
constexpr std::uint32_t unixTypeMask = 0170000;
constexpr std::uint32_t unixSymlink = 0120000;

std::string errorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

class LibzipFile final : public ZipReader::File {
  public:
    explicit LibzipFile(zip_file_t* file) : file_(file) {}
    ~LibzipFile() override { zip_fclose(file_); }
    LibzipFile(const LibzipFile&) = delete;
    LibzipFile& operator=(const LibzipFile&) = delete;

    std::expected<std::size_t, std::string> read(char* buffer, std::size_t size) override {
        const zip_int64_t count = zip_fread(file_, buffer, size);
        if (count < 0) {
            return std::unexpected(std::string(zip_file_strerror(file_)));
        }
        return static_cast<std::size_t>(count);
    }

  private:
    zip_file_t* file_;
};

}  // namespace

std::expected<std::unique_ptr<ZipReader>, ZipReader::OpenError> LibzipReader::openArchive(
    const std::filesystem::path& path) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (archive == nullptr) {
        return std::unexpected(OpenError{OpenError::Kind::notReadable, errorText(code)});
    }
    return std::unique_ptr<ZipReader>(new LibzipReader(archive));
}

LibzipReader::~LibzipReader() {
    zip_discard(archive_);
}

std::uint64_t LibzipReader::entryCount() const {
    // Negative only for a null archive, which this never holds.
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    return count < 0 ? 0 : static_cast<std::uint64_t>(count);
}

std::expected<ZipReader::Entry, std::string> LibzipReader::entry(std::uint64_t index) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)) {
        return std::unexpected(std::string(zip_strerror(archive_)));
    }
    Entry result;
    result.name = stat.name;
    if (stat.valid & ZIP_STAT_SIZE) {
        result.size = stat.size;
    }
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    result.symlink =
        zip_file_get_external_attributes(archive_, index, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX && ((attributes >> 16) & unixTypeMask) == unixSymlink;
    return result;
}

std::expected<std::unique_ptr<ZipReader::File>, std::string> LibzipReader::open(
    std::uint64_t index) {
    zip_file_t* file = zip_fopen_index(archive_, index, 0);
    if (file == nullptr) {
        return std::unexpected(std::string(zip_strerror(archive_)));
    }
    return std::unique_ptr<File>(new LibzipFile(file));
}

}  // namespace tapwell
