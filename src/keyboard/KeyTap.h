#pragma once
// What the key monitor needs from the operating system: a system-wide, listen-only source of raw
// key events, the caps lock state and whether a password prompt has asked for secure input. The
// Linux adapters (evdev devices, X11 raw key events) live in platform/linux; tests use a fake.
//
// A tap is created on one thread and from then on used only by the key monitor's worker thread,
// except `wake()`, which any thread may call. No method throws; failures are in the results.

#include <chrono>
#include <cstdint>
#include <optional>

namespace tapwell {

enum class KeyTapAction {
    release = 0,  // the key went up
    press = 1,    // the key went down
    repeat = 2,   // automatic repeat of a held key
};

struct KeyTapEvent {
    std::int64_t code = 0;  // Linux input key code (KEY_*); X11 keycodes are converted
    KeyTapAction action = KeyTapAction::press;
    std::int64_t timestampNs = 0;  // the event's own time, CLOCK_MONOTONIC nanoseconds

    bool operator==(const KeyTapEvent&) const = default;
};

// Receives what a tap reads, on the thread that called `KeyTap::wait` or `KeyTap::refresh`.
class KeyTapSink {
  public:
    virtual ~KeyTapSink() = default;
    virtual void keyEvent(const KeyTapEvent& event) = 0;
    // A source reported a new caps lock state (it may equal the last one).
    virtual void capsLockChanged(bool isOn) = 0;
    // Events may have been lost (a dropped buffer, a source that vanished or was replaced), so
    // releases of keys held until now may never come.
    virtual void eventsMissed() = 0;
};

class KeyTap {
  public:
    virtual ~KeyTap() = default;

    // Opens the sources that can be opened now and drops those that vanished or can no longer be
    // read. Returns true when at least one source delivers key events ("available"), false when
    // none does (no device, no permission, no display). May call `sink.eventsMissed()`.
    virtual bool refresh(KeyTapSink& sink) = 0;

    // Closes every source; `refresh` may open them again later.
    virtual void close() = 0;

    // The caps lock state as the sources see it right now; none when no source can tell (nothing
    // readable, no display). May open a source briefly to find out.
    virtual std::optional<bool> capsLock() = 0;

    // Whether key input is meant to be secret right now (a password prompt has the keyboard).
    // Cheap: called for every key event. False where the system cannot tell.
    virtual bool secureInput() = 0;

    // Waits up to `timeout` for input and delivers everything that arrived to `sink`. Returns
    // early after delivering, or when `wake()` was called (also before this call, once).
    virtual void wait(std::chrono::nanoseconds timeout, KeyTapSink& sink) = 0;

    // Thread-safe: makes the running wait (or the next one) return at once.
    virtual void wake() = 0;
};

}  // namespace tapwell
