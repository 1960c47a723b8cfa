#include "sound/OfflineAudioOutput.h"

#include <algorithm>

namespace tapwell {

OfflineAudioOutput::OfflineAudioOutput(std::size_t periodFrames,
                                       std::unique_ptr<WavFileWriter> writer)
    : periodFrames_(std::max<std::size_t>(periodFrames, 1)), writer_(std::move(writer)) {}

void OfflineAudioOutput::renderInto(float* out, std::size_t frames) {
    if (source_ != nullptr) {
        source_->render(out, frames);
    } else {
        std::fill(out, out + frames, 0.0f);
    }
    if (writer_ && !writeError_) {
        if (auto written = writer_->write(out, frames); !written) {
            writeError_ = written.error();
        }
    }
}

std::vector<float> OfflineAudioOutput::render(std::size_t frames) {
    std::lock_guard lock(mutex_);
    std::vector<float> out(frames, 0.0f);
    renderInto(out.data(), frames);
    return out;
}

void OfflineAudioOutput::renderDiscarding(std::size_t frames) {
    std::lock_guard lock(mutex_);
    scratch_.resize(periodFrames_);
    while (frames > 0) {
        const std::size_t count = std::min(frames, periodFrames_);
        renderInto(scratch_.data(), count);
        frames -= count;
    }
}

std::optional<Error> OfflineAudioOutput::writeError() const {
    std::lock_guard lock(mutex_);
    return writeError_;
}

std::expected<void, Error> OfflineAudioOutput::closeFile() {
    std::lock_guard lock(mutex_);
    if (!writer_) {
        return {};
    }
    if (writeError_) {
        return std::unexpected(*writeError_);
    }
    return writer_->close();
}

void OfflineAudioOutput::notifyConfigurationChange() {
    changed_();
}

void OfflineAudioOutput::failNextStarts(std::optional<Error> error) {
    std::lock_guard lock(mutex_);
    startError_ = std::move(error);
}

int OfflineAudioOutput::startCount() const {
    std::lock_guard lock(mutex_);
    return startCount_;
}

std::expected<void, Error> OfflineAudioOutput::start(RenderSource& source) {
    std::lock_guard lock(mutex_);
    if (source_ != nullptr) {
        return {};
    }
    ++startCount_;
    if (startError_) {
        return std::unexpected(*startError_);
    }
    source_ = &source;
    running_.store(true);
    return {};
}

void OfflineAudioOutput::stop() {
    std::lock_guard lock(mutex_);
    source_ = nullptr;
    running_.store(false);
}

bool OfflineAudioOutput::isRunning() const {
    return running_.load();
}

void OfflineAudioOutput::setConfigurationChangeHandler(std::function<void()> handler) {
    changed_.set(std::move(handler));
}

std::optional<AudioDevice> OfflineAudioOutput::currentDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::expected<void, Error> OfflineAudioOutput::setCurrentDevice(
    const std::optional<AudioDevice>& device) {
    std::lock_guard lock(mutex_);
    device_ = device;
    return {};
}

}  // namespace tapwell
