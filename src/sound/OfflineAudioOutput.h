#pragma once
// An output that renders only when told to: `render(frames)` pulls that many frames from the
// mixer at once, as fast as the machine goes, and hands them back (and appends them to a WAV file
// when one is given). Rendering is deterministic: a sound scheduled before a `render` call starts
// at the first frame of that call. Used for `tapwell render`, previews and tests that listen.

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sound/AudioOutput.h"
#include "sound/ChangeHandler.h"
#include "sound/WavFileWriter.h"

namespace tapwell {

class OfflineAudioOutput final : public AudioOutput {
  public:
    explicit OfflineAudioOutput(std::size_t periodFrames = 256,
                                std::unique_ptr<WavFileWriter> writer = nullptr);

    // Renders `frames` frames (silence while stopped: nothing is pulled then) and returns them.
    std::vector<float> render(std::size_t frames);
    // Renders without keeping the frames in memory (they still go to the file).
    void renderDiscarding(std::size_t frames);
    // The first file error met while writing, if any.
    std::optional<Error> writeError() const;
    // Finishes the file.
    std::expected<void, Error> closeFile();

    // Calls the configuration-change handler, as a device would after a change.
    void notifyConfigurationChange();
    // The next `start` calls fail with `error` (for tests of failure paths).
    void failNextStarts(std::optional<Error> error);
    int startCount() const;

    std::expected<void, Error> start(RenderSource& source) override;
    void stop() override;
    bool isRunning() const override;
    std::size_t periodFrames() const override { return periodFrames_; }
    void setConfigurationChangeHandler(std::function<void()> handler) override;
    std::optional<AudioDevice> currentDevice() const override;
    std::expected<void, Error> setCurrentDevice(const std::optional<AudioDevice>& device) override;

  private:
    void renderInto(float* out, std::size_t frames);

    const std::size_t periodFrames_;
    mutable std::mutex mutex_;
    std::unique_ptr<WavFileWriter> writer_;
    std::optional<Error> writeError_;
    RenderSource* source_ = nullptr;
    std::atomic<bool> running_{false};  // read on the key path, so no lock
    std::optional<AudioDevice> device_;
    std::optional<Error> startError_;
    int startCount_ = 0;
    std::vector<float> scratch_;
    ChangeHandler changed_;
};

}  // namespace tapwell
