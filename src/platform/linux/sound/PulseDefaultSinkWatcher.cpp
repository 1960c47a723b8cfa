#include "platform/linux/sound/PulseDefaultSinkWatcher.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

namespace tapwell {

struct PulseDefaultSinkWatcher::State {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    std::function<void()> onChange;
    std::string defaultSink;  // touched on the loop's thread only
    bool known = false;

    static void contextChanged(pa_context* context, void* userdata) {
        auto* state = static_cast<State*>(userdata);
        const pa_context_state_t status = pa_context_get_state(context);
        if (status == PA_CONTEXT_READY) {
            pa_context_set_subscribe_callback(context, &State::serverEvent, state);
            pa_operation_unref(
                pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr));
            pa_operation_unref(pa_context_get_server_info(context, &State::serverInfo, state));
        }
        if (status == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(status)) {
            pa_threaded_mainloop_signal(state->loop, 0);
        }
    }

    static void serverEvent(pa_context* context, pa_subscription_event_type_t, std::uint32_t,
                            void* userdata) {
        pa_operation_unref(pa_context_get_server_info(context, &State::serverInfo, userdata));
    }

    static void serverInfo(pa_context*, const pa_server_info* info, void* userdata) {
        auto* state = static_cast<State*>(userdata);
        if (info == nullptr) {
            return;
        }
        const std::string sink = info->default_sink_name != nullptr ? info->default_sink_name : "";
        if (!state->known) {
            state->known = true;  // the first answer is the starting point, not a change
        } else if (sink != state->defaultSink && state->onChange) {
            state->onChange();
        }
        state->defaultSink = sink;
    }
};

PulseDefaultSinkWatcher::PulseDefaultSinkWatcher(std::string server,
                                                 std::function<void()> onDefaultSinkChange)
    : state_(std::make_unique<State>()) {
    state_->onChange = std::move(onDefaultSinkChange);
    state_->loop = pa_threaded_mainloop_new();
    if (state_->loop == nullptr) {
        return;
    }
    state_->context = pa_context_new(pa_threaded_mainloop_get_api(state_->loop), "tapwell-watch");
    if (state_->context == nullptr) {
        return;
    }
    pa_context_set_state_callback(state_->context, &State::contextChanged, state_.get());
    pa_threaded_mainloop_lock(state_->loop);
    if (pa_threaded_mainloop_start(state_->loop) == 0 &&
        pa_context_connect(state_->context, server.empty() ? nullptr : server.c_str(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        // Wait until the connection is ready or has failed.
        while (true) {
            const pa_context_state_t status = pa_context_get_state(state_->context);
            if (status == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(status)) {
                break;
            }
            pa_threaded_mainloop_wait(state_->loop);
        }
    }
    pa_threaded_mainloop_unlock(state_->loop);
}

PulseDefaultSinkWatcher::~PulseDefaultSinkWatcher() {
    if (state_->loop != nullptr) {
        pa_threaded_mainloop_stop(state_->loop);
    }
    if (state_->context != nullptr) {
        pa_context_disconnect(state_->context);
        pa_context_unref(state_->context);
    }
    if (state_->loop != nullptr) {
        pa_threaded_mainloop_free(state_->loop);
    }
}

bool PulseDefaultSinkWatcher::isWatching() const {
    if (state_->loop == nullptr || state_->context == nullptr) {
        return false;
    }
    pa_threaded_mainloop_lock(state_->loop);
    const bool ready = pa_context_get_state(state_->context) == PA_CONTEXT_READY;
    pa_threaded_mainloop_unlock(state_->loop);
    return ready;
}

}  // namespace tapwell
