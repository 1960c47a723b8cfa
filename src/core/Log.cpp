#include "core/Log.h"

#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "core/LogSinks.h"

namespace tapwell {

namespace {

constexpr std::array categories = {LogCategory::startup, LogCategory::keyboardPermission,
                                   LogCategory::audio, LogCategory::stats,
                                   LogCategory::systemEvents};

spdlog::level::level_enum configuredLevel(bool toTerminal, bool verbose) {
    const char* value = std::getenv("TAPWELL_LOG");
    if (value == nullptr || *value == '\0') {
        if (verbose) {
            return spdlog::level::debug;
        }
        return toTerminal ? spdlog::level::err : spdlog::level::info;
    }
    return spdlog::level::from_str(value);  // unknown names give "off"
}

struct Loggers {
    std::mutex mutex;
    std::array<std::shared_ptr<spdlog::logger>, categories.size()> loggers;
    bool forceStandardError = false;
    bool verbose = false;
    // Loggers replaced by logToStandardError stay alive: callers may still hold references.
    std::vector<std::shared_ptr<spdlog::logger>> retired;
};

Loggers& registry() {
    static Loggers loggers;
    return loggers;
}

std::shared_ptr<spdlog::logger> makeLogger(LogCategory category, bool forceStandardError,
                                           bool verbose) {
    std::shared_ptr<spdlog::sinks::sink> sink;
    if (!forceStandardError) {
        sink = makeJournalSink(toString(category));
    }
    const bool toTerminal = !sink;
    if (toTerminal) {
        sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
        sink->set_pattern("%Y-%m-%d %H:%M:%S.%e tapwell[%n] %l: %v");
    }
    auto logger = std::make_shared<spdlog::logger>(toString(category), std::move(sink));
    logger->set_level(configuredLevel(toTerminal, verbose));
    return logger;
}

// Replaces every logger with one made under the registry's current choices.
void remakeLoggers(Loggers& reg) {
    for (LogCategory category : categories) {
        auto& slot = reg.loggers[static_cast<std::size_t>(category)];
        if (slot) {
            reg.retired.push_back(std::move(slot));
        }
        slot = makeLogger(category, reg.forceStandardError, reg.verbose);
    }
}

}  // namespace

const char* toString(LogCategory category) {
    switch (category) {
        case LogCategory::startup:
            return "startup";
        case LogCategory::keyboardPermission:
            return "keyboard-permission";
        case LogCategory::audio:
            return "audio";
        case LogCategory::stats:
            return "stats";
        case LogCategory::systemEvents:
            return "system-events";
    }
    return "startup";
}

spdlog::logger& logger(LogCategory category) {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    auto& slot = reg.loggers[static_cast<std::size_t>(category)];
    if (!slot) {
        slot = makeLogger(category, reg.forceStandardError, reg.verbose);
    }
    return *slot;
}

void logToStandardError() {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.forceStandardError = true;
    remakeLoggers(reg);
}

void logVerbosely() {
    auto& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.forceStandardError = true;
    reg.verbose = true;
    remakeLoggers(reg);
}

}  // namespace tapwell
