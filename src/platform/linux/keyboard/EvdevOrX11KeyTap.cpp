#include "platform/linux/keyboard/EvdevOrX11KeyTap.h"

#include <cstdlib>

#include "core/Assert.h"

namespace tapwell {

EvdevOrX11KeyTap::EvdevOrX11KeyTap(std::unique_ptr<EvdevKeyTap> evdev,
                                   std::unique_ptr<X11KeyTap> x11)
    : evdev_(std::move(evdev)), x11_(std::move(x11)) {
    TAPWELL_ASSERT(evdev_ != nullptr, "EvdevOrX11KeyTap needs the evdev tap");
}

std::unique_ptr<EvdevOrX11KeyTap> EvdevOrX11KeyTap::makeDefault() {
    std::unique_ptr<X11KeyTap> x11;
    if (const char* display = std::getenv("DISPLAY"); display != nullptr && *display != '\0') {
        x11 = std::make_unique<X11KeyTap>();
    }
    return std::make_unique<EvdevOrX11KeyTap>(std::make_unique<EvdevKeyTap>(), std::move(x11));
}

bool EvdevOrX11KeyTap::refresh(KeyTapSink& sink) {
    Source source = Source::none;
    if (evdev_->refresh(sink)) {
        source = Source::evdev;
    }
    if (x11_ != nullptr) {
        // Both sources see the same keys: X11 delivers them only while evdev cannot.
        x11_->setKeyEventsEnabled(source != Source::evdev);
        if (x11_->refresh(sink) && source == Source::none) {
            source = Source::x11;
        }
    }
    if (source != source_ && source_ != Source::none) {
        // Keys held while switching would be released on the other source, or never.
        sink.eventsMissed();
    }
    source_ = source;
    return source != Source::none;
}

void EvdevOrX11KeyTap::close() {
    evdev_->close();
    if (x11_ != nullptr) {
        x11_->close();
    }
    source_ = Source::none;
}

std::optional<bool> EvdevOrX11KeyTap::capsLock() {
    // The X server's lock state is what the session acts on; the keyboard LEDs follow it.
    if (x11_ != nullptr) {
        if (const auto caps = x11_->capsLock(); caps.has_value()) {
            return caps;
        }
    }
    return evdev_->capsLock();
}

bool EvdevOrX11KeyTap::secureInput() {
    return x11_ != nullptr && x11_->secureInput();
}

void EvdevOrX11KeyTap::collectWatches(std::vector<Watch>& out) {
    evdev_->collectWatches(out);
    if (x11_ != nullptr) {
        x11_->collectWatches(out);
    }
}

bool EvdevOrX11KeyTap::dispatchBuffered(KeyTapSink& sink) {
    return x11_ != nullptr && x11_->dispatchBuffered(sink);
}

}  // namespace tapwell
