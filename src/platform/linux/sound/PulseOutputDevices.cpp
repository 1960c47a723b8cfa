#include "platform/linux/sound/PulseOutputDevices.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>

#include <memory>

namespace tapwell {

namespace {

struct Sink {
    OutputDeviceInfo info;
};

Error pulseError(int code) {
    return Error{"pulse", code, pa_strerror(code)};
}

// One connection to the server for the length of a query, driven by a private main loop.
class PulseSession {
  public:
    explicit PulseSession(std::chrono::milliseconds timeout)
        : deadline_(std::chrono::steady_clock::now() + timeout) {}

    ~PulseSession() {
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_ != nullptr) {
            pa_mainloop_free(loop_);
        }
    }

    std::expected<void, Error> connect(const std::string& server) {
        loop_ = pa_mainloop_new();
        if (loop_ == nullptr) {
            return std::unexpected(pulseError(PA_ERR_INTERNAL));
        }
        context_ = pa_context_new(pa_mainloop_get_api(loop_), "tapwell");
        if (context_ == nullptr) {
            return std::unexpected(pulseError(PA_ERR_INTERNAL));
        }
        if (pa_context_connect(context_, server.empty() ? nullptr : server.c_str(),
                               PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return std::unexpected(pulseError(pa_context_errno(context_)));
        }
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context_);
            if (state == PA_CONTEXT_READY) {
                return {};
            }
            if (!PA_CONTEXT_IS_GOOD(state)) {
                return std::unexpected(pulseError(pa_context_errno(context_)));
            }
            if (auto stepped = step(); !stepped) {
                return stepped;
            }
        }
    }

    // Runs the loop until `operation` completes.
    std::expected<void, Error> wait(pa_operation* operation) {
        if (operation == nullptr) {
            return std::unexpected(pulseError(pa_context_errno(context_)));
        }
        std::expected<void, Error> result;
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
            result = step();
            if (!result) {
                pa_operation_cancel(operation);
                break;
            }
        }
        pa_operation_unref(operation);
        return result;
    }

    pa_context* context() const { return context_; }

  private:
    std::expected<void, Error> step() {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline_ - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::unexpected(pulseError(PA_ERR_TIMEOUT));
        }
        if (pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0) {
            return std::unexpected(pulseError(PA_ERR_INTERNAL));
        }
        return {};
    }

    std::chrono::steady_clock::time_point deadline_;
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

std::string property(const pa_proplist* list, const char* key) {
    const char* value = list != nullptr ? pa_proplist_gets(list, key) : nullptr;
    return value != nullptr ? value : "";
}

struct SinkListing {
    std::vector<OutputDeviceInfo> devices;
};

void collectSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    if (eol != 0 || info == nullptr) {
        return;
    }
    PulseSinkFacts facts;
    facts.hasPorts = info->n_ports > 0;
    if (info->active_port != nullptr) {
        facts.activePortName = info->active_port->name != nullptr ? info->active_port->name : "";
        facts.activePortIsSpeaker = info->active_port->type == PA_DEVICE_PORT_TYPE_SPEAKER;
    }
    facts.formFactor = property(info->proplist, PA_PROP_DEVICE_FORM_FACTOR);
    facts.bus = property(info->proplist, PA_PROP_DEVICE_BUS);

    OutputDeviceInfo device;
    device.device.id = info->name != nullptr ? info->name : "";
    device.device.name = info->description != nullptr ? info->description : device.device.id;
    device.builtIn = isBuiltInSpeakerSink(facts);
    device.hasOutput = true;  // every sink plays
    static_cast<SinkListing*>(userdata)->devices.push_back(std::move(device));
}

void collectServer(pa_context*, const pa_server_info* info, void* userdata) {
    if (info != nullptr && info->default_sink_name != nullptr) {
        *static_cast<std::string*>(userdata) = info->default_sink_name;
    }
}

void collectServerName(pa_context*, const pa_server_info* info, void* userdata) {
    if (info != nullptr && info->server_name != nullptr) {
        *static_cast<std::string*>(userdata) = info->server_name;
    }
}

}  // namespace

bool isBuiltInSpeakerSink(const PulseSinkFacts& facts) {
    if (!facts.hasPorts) {
        return facts.formFactor == "internal" || facts.formFactor == "speaker";
    }
    const bool speakerPort =
        facts.activePortIsSpeaker || facts.activePortName.find("speaker") != std::string::npos;
    const bool internalCard = facts.formFactor == "internal" || facts.bus == "pci";
    return speakerPort && internalCard;
}

bool namesPipeWire(std::string_view serverName) {
    return serverName.find("PipeWire") != std::string_view::npos;
}

PulseOutputDevices::PulseOutputDevices(std::string server, std::chrono::milliseconds timeout)
    : server_(std::move(server)), timeout_(timeout) {}

std::expected<std::vector<OutputDeviceInfo>, Error> PulseOutputDevices::outputDevices() {
    PulseSession session(timeout_);
    if (auto connected = session.connect(server_); !connected) {
        return std::unexpected(connected.error());
    }
    SinkListing listing;
    if (auto done =
            session.wait(pa_context_get_sink_info_list(session.context(), &collectSink, &listing));
        !done) {
        return std::unexpected(done.error());
    }
    return std::move(listing.devices);
}

std::expected<std::string, Error> PulseOutputDevices::serverName() {
    PulseSession session(timeout_);
    if (auto connected = session.connect(server_); !connected) {
        return std::unexpected(connected.error());
    }
    std::string name;
    if (auto done =
            session.wait(pa_context_get_server_info(session.context(), &collectServerName, &name));
        !done) {
        return std::unexpected(done.error());
    }
    return name;
}

std::expected<AudioDevice, Error> PulseOutputDevices::defaultOutputDevice() {
    PulseSession session(timeout_);
    if (auto connected = session.connect(server_); !connected) {
        return std::unexpected(connected.error());
    }
    std::string defaultSink;
    if (auto done = session.wait(
            pa_context_get_server_info(session.context(), &collectServer, &defaultSink));
        !done) {
        return std::unexpected(done.error());
    }
    if (defaultSink.empty()) {
        return std::unexpected(pulseError(PA_ERR_NOENTITY));
    }
    SinkListing listing;
    if (auto done =
            session.wait(pa_context_get_sink_info_list(session.context(), &collectSink, &listing));
        !done) {
        return std::unexpected(done.error());
    }
    for (const OutputDeviceInfo& info : listing.devices) {
        if (info.device.id == defaultSink) {
            return info.device;
        }
    }
    return std::unexpected(pulseError(PA_ERR_NOENTITY));
}

}  // namespace tapwell
