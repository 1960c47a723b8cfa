#include "platform/linux/sound/WavRealtimeAudioOutput.h"

#include <algorithm>

namespace tapwell {

WavRealtimeAudioOutput::WavRealtimeAudioOutput(std::filesystem::path path, std::size_t periodFrames,
                                               std::size_t headerRefreshFrames)
    : NullAudioOutput(periodFrames),
      path_(std::move(path)),
      headerRefreshFrames_(std::max<std::size_t>(headerRefreshFrames, 1)) {}

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
    sinceHeaderRefresh_ = 0;
    return {};
}

void WavRealtimeAudioOutput::deliver(const float* mono, std::size_t frames) {
    if (!writer_ || failed_) {
        return;
    }
    sinceHeaderRefresh_ += frames;
    const bool refresh = sinceHeaderRefresh_ >= headerRefreshFrames_;
    if (refresh) {
        sinceHeaderRefresh_ = 0;
    }
    // A full disk ends the recording, not the render thread.
    failed_ = !writer_->write(mono, frames, refresh).has_value();
}

}  // namespace tapwell
