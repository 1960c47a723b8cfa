#include "platform/fallback/UnavailableHotKeyService.h"

namespace tapwell {

std::expected<HotKeyRef, Error> UnavailableHotKeyService::registerHotKey(const HotKey&) {
    return std::unexpected(
        Error{"x11", 0, "No X display: the global shortcut needs an X11 session"});
}

}  // namespace tapwell
