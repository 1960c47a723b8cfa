#include "WavIo.h"

#include <sndfile.h>

#include <memory>

namespace tapwell::themegen {

namespace {
struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;
}  // namespace

std::expected<void, std::string> writeWav(const std::filesystem::path& path,
                                          const Buffer& samples) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(kSampleRate);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SndfilePtr file(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!file) {
        return std::unexpected(path.string() + ": " + sf_strerror(nullptr));
    }
    sf_command(file.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    const auto count = static_cast<sf_count_t>(samples.size());
    if (sf_writef_float(file.get(), samples.data(), count) != count) {
        return std::unexpected(path.string() + ": " + sf_strerror(file.get()));
    }
    if (sf_close(file.release()) != 0) {
        return std::unexpected(path.string() + ": could not finish the file");
    }
    return {};
}

std::expected<AudioFile, std::string> readAudio(const std::filesystem::path& path) {
    SF_INFO info{};
    SndfilePtr file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file) {
        return std::unexpected(std::string(sf_strerror(nullptr)));
    }
    if (info.channels <= 0 || info.frames < 0) {
        return std::unexpected(std::string("no audio channels"));
    }
    // Float data is read as stored, so a sample beyond full scale shows up as clipping.
    sf_command(file.get(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    Buffer interleaved(static_cast<std::size_t>(info.frames) *
                       static_cast<std::size_t>(info.channels));
    const sf_count_t read = sf_readf_float(file.get(), interleaved.data(), info.frames);
    if (read != info.frames) {
        return std::unexpected(std::string("short read: ") + sf_strerror(file.get()));
    }
    AudioFile audio;
    audio.sampleRate = info.samplerate;
    audio.channels = info.channels;
    audio.samples.resize(static_cast<std::size_t>(info.frames));
    for (std::size_t i = 0; i < audio.samples.size(); ++i) {
        audio.samples[i] = interleaved[i * static_cast<std::size_t>(info.channels)];
    }
    return audio;
}

}  // namespace tapwell::themegen
