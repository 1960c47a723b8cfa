#pragma once
// The system log sink (the Linux side lives in platform/linux/core/JournalSink.cpp).

#include <spdlog/sinks/sink.h>

#include <memory>

namespace tapwell {

// A sink that writes to the systemd journal with SYSLOG_IDENTIFIER=tapwell and the category in
// TAPWELL_CATEGORY, or null when no journal is reachable.
std::shared_ptr<spdlog::sinks::sink> makeJournalSink(const char* category);

}  // namespace tapwell
