#pragma once
// The seam between the sound engine and whatever turns samples into sound: a device (SDL), a
// clock that pulls and discards (the null output) or a WAV file. An output pulls mono float
// frames at 48 kHz from a `RenderSource` on its own render thread, one period at a time.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>

#include "core/Error.h"

namespace tapwell {

// How a sleeping output is told that its source has something to play. `wake` is called on the
// producer's thread (the key path): it must not block, allocate, lock or log.
class RenderWaker {
  public:
    virtual ~RenderWaker() = default;
    virtual void wake() noexcept = 0;
};

// What an output pulls from. `render` runs on the output's render thread (or, for offline
// outputs, on the thread that drives them); it must fill `frames` mono samples and must not block,
// allocate, lock or log.
//
// An output may stop pulling while the source is quiet: on its render thread it sees `isQuiet`,
// calls `armWake` and, when that succeeds, sleeps until `waker` is called; the source then calls
// it once, on the next command it is given. What the source is given meanwhile waits for the next
// `render`, so nothing of it is lost. Sources that never fall quiet keep the defaults.
class RenderSource {
  public:
    virtual ~RenderSource() = default;
    virtual void render(float* mono, std::size_t frames) noexcept = 0;

    // Render thread: `render` gives nothing but silence until the source is given something new.
    virtual bool isQuiet() const noexcept { return false; }
    // Render thread: asks for `waker` to be called on the next command. False when a command is
    // already waiting (the output then renders on instead of sleeping).
    virtual bool armWake(RenderWaker&) noexcept { return false; }
    // Any thread: forgets the waker (an output that stops). A wake already under way may still
    // arrive, so the waker outlives the output's use of the source.
    virtual void disarmWake() noexcept {}

    // Rewriting what was rendered, for an output that queues far ahead of what is heard and can
    // replace queued frames. All on the render thread; sources that cannot keep the defaults.
    //
    // Asks the source to keep what it needs to render again from up to `frames` behind its
    // position; returns the window it keeps (0: no rewinds). May be called between renders only.
    virtual std::size_t setRewindWindow(std::size_t) noexcept { return 0; }
    // The frame the next render starts at, counted since the source was made.
    virtual std::uint64_t position() const noexcept { return 0; }
    // A command is waiting for the next `render`.
    virtual bool hasCommands() const noexcept { return false; }
    // Like `render`, but leaves waiting commands for the next `render`: an output that renders
    // ahead applies them where they are heard soonest, after a rewind.
    virtual void renderAhead(float* mono, std::size_t frames) noexcept { render(mono, frames); }
    // Goes back so that the next render starts at `frame`, or as near after it as allowed (never
    // before the committed frame or a frame where a command was applied, never past the
    // position). Returns the frame the next render starts at.
    virtual std::uint64_t rewindTo(std::uint64_t) noexcept { return position(); }
    // Frames before `frame` are final: they will not be rendered again.
    virtual void commit(std::uint64_t) noexcept {}
};

// An output device as the device layer names it. `id` is opaque and stable (for PulseAudio the
// sink name); `name` is what the output library opens it by (for SDL the sink description).
struct AudioDevice {
    std::string id;
    std::string name;

    bool operator==(const AudioDevice&) const = default;
};

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;

    // Starts pulling `source` (the output keeps the reference until `stop`). Starting a running
    // output does nothing and succeeds. Fails with the library's error when the device cannot be
    // opened.
    virtual std::expected<void, Error> start(RenderSource& source) = 0;
    // After `stop` returns, `render` is not running and is not called again until the next start.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

    // Frames per render call while running.
    virtual std::size_t periodFrames() const = 0;

    // Called on any thread when the device went away or the system's default device changed while
    // the output follows it; the owner answers with a restart. After setting an empty handler
    // returns, the old handler is not running and is never called again.
    virtual void setConfigurationChangeHandler(std::function<void()> handler) = 0;

    // The device the output plays to; none means the system's default device.
    virtual std::optional<AudioDevice> currentDevice() const = 0;
    // Points the output at `device` (none: the system default) for the next start. Fails with the
    // library's error when the device is unknown; the current device is then unchanged.
    virtual std::expected<void, Error> setCurrentDevice(
        const std::optional<AudioDevice>& device) = 0;
};

}  // namespace tapwell
