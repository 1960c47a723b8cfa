#pragma once
// A WAV-file output that runs in real time like a device: the null output's paced render thread,
// with every period appended to the file as soon as it is rendered and the header's sizes kept
// up to date, so that an outside observer can time the sound by watching the file grow and a
// killed process leaves a valid file. (For rendering as fast as possible, see
// `OfflineAudioOutput`.)

#include <filesystem>
#include <memory>

#include "platform/fallback/NullAudioOutput.h"
#include "sound/WavFileWriter.h"

namespace tapwell {

class WavRealtimeAudioOutput final : public NullAudioOutput {
  public:
    WavRealtimeAudioOutput(std::filesystem::path path, std::size_t periodFrames = 256);
    ~WavRealtimeAudioOutput() override;

  private:
    // Each start begins the file anew; a file that cannot be created fails the start.
    std::expected<void, Error> prepareToStart() override;
    void deliver(const float* mono, std::size_t frames) override;

    const std::filesystem::path path_;
    std::unique_ptr<WavFileWriter> writer_;
    bool failed_ = false;
};

}  // namespace tapwell
