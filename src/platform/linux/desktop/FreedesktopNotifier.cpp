#include "platform/linux/desktop/FreedesktopNotifier.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "core/Log.h"
#include "platform/linux/desktop/BusThread.h"

namespace tapwell {

namespace {

constexpr const char* service = "org.freedesktop.Notifications";
constexpr const char* path = "/org/freedesktop/Notifications";
constexpr const char* interface = "org.freedesktop.Notifications";
// A server that does not answer within this time counts as absent.
constexpr std::uint64_t callTimeoutUs = 5'000'000;

// D-Bus carries only valid UTF-8: malformed sequences become U+FFFD rather than losing the
// notification.
std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80                    ? 1
                                   : lead >= 0xC2 && lead <= 0xDF ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (valid && length >= 3) {
            // Overlong forms, surrogates and code points past U+10FFFF.
            const auto second = static_cast<unsigned char>(text[i + 1]);
            valid = !(lead == 0xE0 && second < 0xA0) && !(lead == 0xED && second >= 0xA0) &&
                    !(lead == 0xF0 && second < 0x90) && !(lead == 0xF4 && second >= 0x90);
        }
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

// What a body becomes for a server that reads it as markup.
std::string escapeMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

struct FreedesktopNotifier::Waiting {
    explicit Waiting(FreedesktopNotifier& notifier) : owner(notifier) {}
    FreedesktopNotifier& owner;
    std::uint64_t lastCall = 0;
    std::unordered_map<std::uint64_t, std::function<void(Capabilities)>> capabilities;
    std::unordered_map<std::uint64_t, std::function<void(std::optional<NotificationID>)>> posts;
};

// Everything here runs on the bus thread. Callers' callbacks never come here: answers go back by
// call number, so that whatever a callback holds is made, called and dropped on the main thread.
struct FreedesktopNotifier::Connection {
    Connection(MainQueue& queue, std::weak_ptr<Waiting> waitingSide, BusThread& busThread,
               const std::string& icon, std::string busAddress)
        : mainQueue(queue),
          waiting(std::move(waitingSide)),
          thread(busThread),
          iconName(validUtf8(icon)),
          address(std::move(busAddress)) {}

    MainQueue& mainQueue;
    std::weak_ptr<Waiting> waiting;
    BusThread& thread;  // the notifier keeps it running for as long as this is open
    std::string iconName;
    std::string address;
    sd_bus* bus = nullptr;
    sd_bus_slot* actionMatch = nullptr;
    bool bodyMarkup = false;  // the last server said it reads the body as markup
    bool closed = false;
    bool toldNoBus = false;

    struct Call {
        Connection* connection;
        std::uint64_t number;
    };

    template <typename Work>
    void toMain(Work work) {
        mainQueue.post([waiting = waiting, work = std::move(work)] {
            if (auto live = waiting.lock()) {
                work(*live);
            }
        });
    }

    void answerCapabilities(std::uint64_t number, Capabilities capabilities) {
        toMain([number, capabilities](Waiting& live) {
            if (auto node = live.capabilities.extract(number)) {
                node.mapped()(capabilities);
            }
        });
    }

    void answerPost(std::uint64_t number, std::optional<NotificationID> id) {
        toMain([number, id](Waiting& live) {
            if (auto node = live.posts.extract(number)) {
                node.mapped()(id);
            }
        });
    }

    // An open connection, made again when the bus went away since.
    bool open() {
        if (closed) {
            return false;
        }
        if (bus != nullptr && sd_bus_is_open(bus) > 0) {
            return true;
        }
        drop();
        const int result = thread.connect(BusThread::Bus::session, address, &bus);
        if (result < 0) {
            if (!toldNoBus) {
                toldNoBus = true;
                logger(LogCategory::startup)
                    .info("No session bus: notifications are not shown ({})",
                          std::strerror(-result));
            }
            return false;
        }
        sd_bus_match_signal_async(bus, &actionMatch, service, path, interface, "ActionInvoked",
                                  &Connection::actionInvoked, nullptr, this);
        return true;
    }

    void drop() {
        actionMatch = sd_bus_slot_unref(actionMatch);
        // Pending calls' slots go with the connection, and with them their call records.
        bus = sd_bus_flush_close_unref(bus);
    }

    void close() {
        closed = true;
        drop();
    }

    int send(sd_bus_message* message, sd_bus_message_handler_t handler, std::uint64_t number) {
        auto* call = new Call{this, number};
        sd_bus_slot* slot = nullptr;
        const int result = sd_bus_call_async(bus, &slot, message, handler, call, callTimeoutUs);
        if (result < 0) {
            delete call;
            return result;
        }
        sd_bus_slot_set_destroy_callback(slot, [](void* data) { delete static_cast<Call*>(data); });
        sd_bus_slot_set_floating(slot, 1);
        sd_bus_slot_unref(slot);
        return 0;
    }

    void queryCapabilities(std::uint64_t number) {
        sd_bus_message* message = nullptr;
        if (!open() ||
            sd_bus_message_new_method_call(bus, &message, service, path, interface,
                                           "GetCapabilities") < 0 ||
            send(message, &Connection::capabilitiesArrived, number) < 0) {
            answerCapabilities(number, {});
        }
        sd_bus_message_unref(message);
    }

    static int capabilitiesArrived(sd_bus_message* reply, void* data, sd_bus_error*) {
        const auto& call = *static_cast<Call*>(data);
        Connection& self = *call.connection;
        if (self.closed) {
            return 0;
        }
        Capabilities capabilities;
        char** list = nullptr;
        if (!sd_bus_message_is_method_error(reply, nullptr) &&
            sd_bus_message_read_strv(reply, &list) >= 0) {
            capabilities.reachable = true;
            self.bodyMarkup = false;
            for (char** item = list; item != nullptr && *item != nullptr; ++item) {
                const std::string_view name = *item;
                capabilities.actions = capabilities.actions || name == "actions";
                self.bodyMarkup = self.bodyMarkup || name == "body-markup";
                std::free(*item);
            }
            std::free(list);
        }
        self.answerCapabilities(call.number, capabilities);
        return 0;
    }

    int appendNotification(sd_bus_message* message, const Notification& notification) const {
        const std::string body = validUtf8(notification.body);
        int result = sd_bus_message_append(message, "susss", "Tapwell", std::uint32_t{0},
                                           iconName.c_str(), validUtf8(notification.title).c_str(),
                                           bodyMarkup ? escapeMarkup(body).c_str() : body.c_str());
        if (result >= 0) {
            result = sd_bus_message_open_container(message, 'a', "s");
        }
        for (const auto& [key, title] : notification.actions) {
            if (result >= 0) {
                result = sd_bus_message_append(message, "ss", validUtf8(key).c_str(),
                                               validUtf8(title).c_str());
            }
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(message);
        }
        if (result >= 0) {
            result = sd_bus_message_open_container(message, 'a', "{sv}");
        }
        if (result >= 0 && !iconName.empty()) {
            result = sd_bus_message_append(message, "{sv}", "desktop-entry", "s", iconName.c_str());
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(message);
        }
        if (result >= 0) {
            result = sd_bus_message_append(message, "i", std::int32_t{-1});
        }
        return result;
    }

    void post(std::uint64_t number, const Notification& notification) {
        sd_bus_message* message = nullptr;
        if (!open() ||
            sd_bus_message_new_method_call(bus, &message, service, path, interface, "Notify") < 0 ||
            appendNotification(message, notification) < 0 ||
            send(message, &Connection::postArrived, number) < 0) {
            answerPost(number, std::nullopt);
        }
        sd_bus_message_unref(message);
    }

    static int postArrived(sd_bus_message* reply, void* data, sd_bus_error*) {
        const auto& call = *static_cast<Call*>(data);
        Connection& self = *call.connection;
        if (self.closed) {
            return 0;
        }
        std::uint32_t id = 0;
        if (!sd_bus_message_is_method_error(reply, nullptr) &&
            sd_bus_message_read(reply, "u", &id) >= 0) {
            self.answerPost(call.number, id);
        } else {
            self.answerPost(call.number, std::nullopt);
        }
        return 0;
    }

    static int actionInvoked(sd_bus_message* signal, void* data, sd_bus_error*) {
        auto& self = *static_cast<Connection*>(data);
        std::uint32_t id = 0;
        const char* key = nullptr;
        if (self.closed || sd_bus_message_read(signal, "us", &id, &key) < 0) {
            return 0;
        }
        self.toMain([id, key = std::string(key)](Waiting& live) {
            // A copy, so that a callback that ends the notifier does not end itself.
            if (auto onAction = live.owner.onAction) {
                onAction(id, key);
            }
        });
        return 0;
    }
};

FreedesktopNotifier::FreedesktopNotifier(MainQueue& mainQueue, std::string iconName,
                                         std::string busAddress)
    : thread_(BusThread::shared()), waiting_(std::make_shared<Waiting>(*this)) {
    connection_ = std::make_shared<Connection>(mainQueue, waiting_, *thread_, std::move(iconName),
                                               std::move(busAddress));
    // Connected ahead, so that the first notification does not wait for it and buttons of
    // notifications are heard from the start.
    thread_->post([connection = connection_] { connection->open(); });
}

FreedesktopNotifier::~FreedesktopNotifier() {
    waiting_.reset();
    thread_->runAndWait([this] { connection_->close(); });
}

void FreedesktopNotifier::queryCapabilities(std::function<void(Capabilities)> done) {
    const std::uint64_t number = ++waiting_->lastCall;
    waiting_->capabilities.emplace(number, std::move(done));
    thread_->post([connection = connection_, number] { connection->queryCapabilities(number); });
}

void FreedesktopNotifier::post(const Notification& notification,
                               std::function<void(std::optional<NotificationID>)> done) {
    const std::uint64_t number = ++waiting_->lastCall;
    waiting_->posts.emplace(number, std::move(done));
    thread_->post([connection = connection_, number, notification] {
        connection->post(number, notification);
    });
}

}  // namespace tapwell
