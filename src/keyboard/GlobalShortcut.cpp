#include "keyboard/GlobalShortcut.h"

#include <utility>

#include "core/Assert.h"

namespace tapwell {

GlobalShortcut::GlobalShortcut(std::unique_ptr<HotKeyService> service, MainQueue& mainQueue)
    : service_(std::move(service)),
      mainQueue_(mainQueue),
      presence_(std::make_shared<Presence>(Presence{this})) {
    TAPWELL_ASSERT(service_ != nullptr, "GlobalShortcut needs a hot-key service");
    std::weak_ptr<Presence> presence = presence_;
    MainQueue* queue = &mainQueue_;
    service_->installHandler([presence, queue](std::uint32_t) {
        // Only one hot key is ever registered, so which one fired does not matter.
        queue->post([presence] {
            const auto alive = presence.lock();
            if (!alive) {
                return;
            }
            if (alive->owner->onToggle) {
                alive->owner->onToggle();
            }
        });
    });
    handlerInstalled_ = true;
}

GlobalShortcut::~GlobalShortcut() {
    unregisterHotKey();
    if (handlerInstalled_) {
        service_->removeHandler();
        handlerInstalled_ = false;
    }
    presence_.reset();
}

bool GlobalShortcut::registerHotKey() {
    unregisterHotKey();
    auto result = service_->registerHotKey(toggleHotKey);
    if (!result.has_value()) {
        lastError_ = std::move(result.error());
        return false;
    }
    lastError_.reset();
    hotKey_ = *result;
    return true;
}

void GlobalShortcut::unregisterHotKey() {
    if (hotKey_.has_value()) {
        service_->unregisterHotKey(*hotKey_);
        hotKey_.reset();
    }
}

}  // namespace tapwell
