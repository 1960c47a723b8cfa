#include <spdlog/details/null_mutex.h>
#include <spdlog/sinks/base_sink.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "core/LogSinks.h"

namespace tapwell {

namespace {

int priorityOf(spdlog::level::level_enum level) {
    switch (level) {
        case spdlog::level::trace:
        case spdlog::level::debug:
            return LOG_DEBUG;
        case spdlog::level::info:
            return LOG_INFO;
        case spdlog::level::warn:
            return LOG_WARNING;
        case spdlog::level::err:
            return LOG_ERR;
        case spdlog::level::critical:
            return LOG_CRIT;
        case spdlog::level::off:
        case spdlog::level::n_levels:
            break;
    }
    return LOG_INFO;
}

class JournalSink final : public spdlog::sinks::base_sink<std::mutex> {
  public:
    explicit JournalSink(std::string category) : category_(std::move(category)) {}

  protected:
    void sink_it_(const spdlog::details::log_msg& msg) override {
        const int length = static_cast<int>(msg.payload.size());
        sd_journal_send("MESSAGE=%.*s", length, msg.payload.data(), "PRIORITY=%d",
                        priorityOf(msg.level), "SYSLOG_IDENTIFIER=tapwell", "TAPWELL_CATEGORY=%s",
                        category_.c_str(), nullptr);
    }
    void flush_() override {}

  private:
    std::string category_;
};

}  // namespace

std::shared_ptr<spdlog::sinks::sink> makeJournalSink(const char* category) {
    if (::access("/run/systemd/journal/socket", W_OK) != 0) {
        return nullptr;
    }
    return std::make_shared<JournalSink>(category);
}

}  // namespace tapwell
