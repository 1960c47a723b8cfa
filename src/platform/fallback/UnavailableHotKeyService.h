#pragma once
// Stands in for the hot-key service where there is none (no X display): every registration fails
// with a clear error, so the shortcut is reported unavailable.

#include "keyboard/HotKeyService.h"

namespace tapwell {

class UnavailableHotKeyService final : public HotKeyService {
  public:
    void installHandler(Handler) override {}
    void removeHandler() override {}
    std::expected<HotKeyRef, Error> registerHotKey(const HotKey&) override;
    void unregisterHotKey(HotKeyRef) override {}
};

}  // namespace tapwell
