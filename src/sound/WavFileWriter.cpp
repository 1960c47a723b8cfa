#include "sound/WavFileWriter.h"

#include <sndfile.h>

#include "sound/PcmBuffer.h"
#include "themes/SampleFile.h"

namespace tapwell {

namespace {

SNDFILE* handle(void* file) {
    return static_cast<SNDFILE*>(file);
}

}  // namespace

std::expected<std::unique_ptr<WavFileWriter>, Error> WavFileWriter::create(
    const std::filesystem::path& path) {
    SF_INFO info{};
    info.samplerate = pcmSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    auto lock = lockSndfileOpen();
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return std::unexpected(Error{"libsndfile", sf_error(nullptr), sf_strerror(nullptr)});
    }
    lock.unlock();
    std::unique_ptr<WavFileWriter> writer(new WavFileWriter());
    writer->file_ = file;
    return writer;
}

WavFileWriter::~WavFileWriter() {
    (void)close();
}

std::expected<void, Error> WavFileWriter::write(const float* mono, std::size_t frames,
                                                bool keepHeaderCurrent) {
    if (file_ == nullptr) {
        return std::unexpected(Error{"libsndfile", SF_ERR_SYSTEM, "The file is closed."});
    }
    if (frames > maxFrames - framesWritten_) {
        // The RIFF sizes are 32-bit: a longer file would be written with sizes that wrapped
        // round, and readers would see only what is left of them.
        return std::unexpected(Error{"libsndfile", SF_ERR_SYSTEM,
                                     "A WAV file holds at most 4 GiB (about 6 hours of sound)."});
    }
    const auto count = static_cast<sf_count_t>(frames);
    if (sf_writef_float(handle(file_), mono, count) != count) {
        return std::unexpected(
            Error{"libsndfile", sf_error(handle(file_)), sf_strerror(handle(file_))});
    }
    framesWritten_ += frames;
    // libsndfile writes its data straight to the file, so other processes see it at once; only
    // the header waits for the close unless it is brought up to date here.
    if (keepHeaderCurrent) {
        sf_command(handle(file_), SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }
    return {};
}

std::expected<void, Error> WavFileWriter::close() {
    if (file_ == nullptr) {
        return {};
    }
    const int status = sf_close(handle(file_));
    file_ = nullptr;
    if (status != 0) {
        return std::unexpected(Error{"libsndfile", status, sf_error_number(status)});
    }
    return {};
}

}  // namespace tapwell
