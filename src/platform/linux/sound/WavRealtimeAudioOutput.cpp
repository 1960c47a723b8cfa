#include "platform/linux/sound/WavRealtimeAudioOutput.h"

namespace tapwell {

WavRealtimeAudioOutput::WavRealtimeAudioOutput(std::filesystem::path path, std::size_t periodFrames)
    : NullAudioOutput(periodFrames), path_(std::move(path)) {}

WavRealtimeAudioOutput::~WavRealtimeAudioOutput() {
    stopRendering();
}

std::expected<void, Error> WavRealtimeAudioOutput::prepareToStart() {
    auto writer = WavFileWriter::create(path_);
    if (!writer) {
        return std::unexpected(writer.error());
    }
    writer_ = std::move(*writer);
    failed_ = false;
    return {};
}

void WavRealtimeAudioOutput::deliver(const float* mono, std::size_t frames) {
    if (!writer_ || failed_) {
        return;
    }
    // A full disk ends the recording, not the render thread.
    failed_ = !writer_->write(mono, frames, true).has_value();
}

}  // namespace tapwell
