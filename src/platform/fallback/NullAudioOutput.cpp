#include "platform/fallback/NullAudioOutput.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "core/ThreadName.h"
#include "sound/PcmBuffer.h"

namespace tapwell {

namespace {

constexpr std::int64_t nanosPerSecond = 1000000000;

std::int64_t monotonicNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * nanosPerSecond + now.tv_nsec;
}

// Asks for a real-time slot like a device's audio thread gets; without the permission the thread
// stays at normal priority, which only costs some jitter.
void raisePriority() {
    sched_param parameters{};
    parameters.sched_priority = std::min(10, sched_get_priority_max(SCHED_FIFO));
    (void)pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters);
}

void sleepUntil(std::int64_t deadline) {
    timespec at{};
    at.tv_sec = static_cast<time_t>(deadline / nanosPerSecond);
    at.tv_nsec = static_cast<long>(deadline % nanosPerSecond);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

}  // namespace

NullAudioOutput::NullAudioOutput(std::size_t periodFrames, std::size_t idleFrames)
    : periodFrames_(std::clamp<std::size_t>(periodFrames, 16, 8192)), idleFrames_(idleFrames) {}

NullAudioOutput::~NullAudioOutput() {
    stopRendering();
}

std::expected<void, Error> NullAudioOutput::start(RenderSource& source) {
    std::lock_guard lock(mutex_);
    if (running_.load()) {
        return {};
    }
    if (auto prepared = prepareToStart(); !prepared) {
        return prepared;
    }
    stopRequested_.store(false);
    waker_.clear();
    running_.store(true);
    thread_ = std::thread([this, &source] { run(&source); });
    return {};
}

void NullAudioOutput::stopRendering() {
    std::lock_guard lock(mutex_);
    stopRequested_.store(true);
    waker_.wake();
    if (thread_.joinable()) {
        thread_.join();
    }
    running_.store(false);
}

void NullAudioOutput::stop() {
    stopRendering();
}

void NullAudioOutput::run(RenderSource* source) {
    setCurrentThreadName("tapwell-render");
    raisePriority();
    std::vector<float> period(periodFrames_, 0.0f);
    const std::int64_t periodNanos =
        static_cast<std::int64_t>(periodFrames_) * nanosPerSecond / pcmSampleRate;
    const bool mayIdle = sleepsWhenQuiet();
    SilenceTracker silence(idleFrames_);
    std::int64_t deadline = monotonicNanos();
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        source->render(period.data(), period.size());
        deliver(period.data(), period.size());
        if (mayIdle && silence.rendered(period.size(), source->isQuiet())) {
            silence.reset();
            if (source->armWake(waker_)) {
                asleep_.store(true);
                waker_.wait();
                asleep_.store(false);
                source->disarmWake();  // still armed when stop woke the thread
                // The first period after the sleep is rendered at once: what woke the thread
                // starts there, from its first frame.
                deadline = monotonicNanos();
                continue;
            }
        }
        deadline += periodNanos;
        const std::int64_t now = monotonicNanos();
        if (now - deadline > 4 * periodNanos) {
            // Far behind (the machine was suspended or overloaded): skip the missed periods
            // instead of rendering them in a burst, as a device would.
            deadline = now;
        }
        sleepUntil(deadline);
    }
}

void NullAudioOutput::deliver(const float*, std::size_t) {}

void NullAudioOutput::setConfigurationChangeHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

std::optional<AudioDevice> NullAudioOutput::currentDevice() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::expected<void, Error> NullAudioOutput::setCurrentDevice(
    const std::optional<AudioDevice>& device) {
    std::lock_guard lock(mutex_);
    device_ = device;
    return {};
}

}  // namespace tapwell
