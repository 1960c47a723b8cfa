#include "themes/SndfileReader.h"

#include <sndfile.h>

#include <algorithm>
#include <mutex>

namespace tapwell {
namespace {

SNDFILE* handle(void* file) {
    return static_cast<SNDFILE*>(file);
}

}  // namespace

std::expected<std::unique_ptr<AudioFileReader>, Error> SndfileReader::openFile(
    const std::filesystem::path& path) {
    SF_INFO info{};
    // libsndfile keeps the reason of a failed open in one place for the whole process: opening a
    // file and reading that reason hold this lock, so that the header check and the sound
    // engine's loader can open files at the same time.
    static std::mutex openMutex;
    std::unique_lock lock(openMutex);
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return std::unexpected(Error{"libsndfile", sf_error(nullptr), sf_strerror(nullptr)});
    }
    lock.unlock();
    std::unique_ptr<SndfileReader> reader(new SndfileReader());
    reader->file_ = file;
    reader->info_ =
        SampleInfo{static_cast<std::int64_t>(info.frames), info.samplerate, info.channels};
    return reader;
}

SndfileReader::~SndfileReader() {
    sf_close(handle(file_));
}

std::expected<std::size_t, Error> SndfileReader::readFrames(float* interleaved,
                                                            std::size_t frames) {
    const sf_count_t read =
        sf_readf_float(handle(file_), interleaved, static_cast<sf_count_t>(frames));
    if (sf_error(handle(file_)) != SF_ERR_NO_ERROR) {
        return std::unexpected(
            Error{"libsndfile", sf_error(handle(file_)), sf_strerror(handle(file_))});
    }
    return static_cast<std::size_t>(std::max<sf_count_t>(read, 0));
}

}  // namespace tapwell
