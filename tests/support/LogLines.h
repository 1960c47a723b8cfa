#pragma once
// The lines one log category writes while the object lives (at info level and above).

#include <spdlog/sinks/ringbuffer_sink.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Log.h"

namespace tapwell::test {

class LogLines {
  public:
    explicit LogLines(LogCategory category)
        : category_(category), sink_(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(64)) {
        auto& log = logger(category_);
        level_ = log.level();
        log.set_level(spdlog::level::info);
        log.sinks().push_back(sink_);
    }
    ~LogLines() {
        auto& log = logger(category_);
        auto& sinks = log.sinks();
        sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
        log.set_level(level_);
    }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    std::vector<std::string> containing(std::string_view needle) const {
        std::vector<std::string> out;
        for (const auto& line : sink_->last_formatted()) {
            if (line.find(needle) != std::string::npos) {
                out.push_back(line);
            }
        }
        return out;
    }

  private:
    LogCategory category_;
    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink_;
    spdlog::level::level_enum level_;
};

}  // namespace tapwell::test
