#pragma once
// A WAV-file output that runs in real time like a device: the null output's paced render thread,
// with every period appended to the file as soon as it is rendered, so that an outside observer
// can time the sound by watching the file grow. The header's sizes are brought up to date about
// once a second (each refresh costs a few system calls), so a killed process leaves a valid file
// that lacks at most the last second. Silence is written too, and in real time, so that a frame's
// place in the file stays tied to the wall clock. (For rendering as fast as possible, see
// `OfflineAudioOutput`.)

#include <filesystem>
#include <memory>

#include "platform/fallback/NullAudioOutput.h"
#include "sound/PcmBuffer.h"
#include "sound/WavFileWriter.h"

namespace tapwell {

class WavRealtimeAudioOutput final : public NullAudioOutput {
  public:
    WavRealtimeAudioOutput(std::filesystem::path path, std::size_t periodFrames = 128,
                           std::size_t headerRefreshFrames = pcmSampleRate);
    ~WavRealtimeAudioOutput() override;

  private:
    // Each start begins the file anew; a file that cannot be created fails the start.
    std::expected<void, Error> prepareToStart() override;
    void deliver(const float* mono, std::size_t frames) override;
    bool sleepsWhenQuiet() const override { return false; }

    const std::filesystem::path path_;
    const std::size_t headerRefreshFrames_;
    std::size_t sinceHeaderRefresh_ = 0;
    std::unique_ptr<WavFileWriter> writer_;
    bool failed_ = false;
};

}  // namespace tapwell
