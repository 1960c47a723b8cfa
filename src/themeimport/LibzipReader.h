#pragma once
// ZipReader over libzip.

#include "themeimport/ZipReader.h"

// libzip's archive (zip_t), declared here so that only LibzipReader.cpp includes libzip.
struct zip;

namespace tapwell {

class LibzipReader final : public ZipReader {
  public:
    static std::expected<std::unique_ptr<ZipReader>, OpenError> openArchive(
        const std::filesystem::path& path);
    ~LibzipReader() override;
    LibzipReader(const LibzipReader&) = delete;
    LibzipReader& operator=(const LibzipReader&) = delete;

    std::uint64_t entryCount() const override;
    std::expected<Entry, std::string> entry(std::uint64_t index) override;
    std::expected<std::unique_ptr<File>, std::string> open(std::uint64_t index) override;

  private:
    explicit LibzipReader(::zip* archive) : archive_(archive) {}
    ::zip* archive_;
};

}  // namespace tapwell
