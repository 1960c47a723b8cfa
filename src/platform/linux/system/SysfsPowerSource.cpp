#include "platform/linux/system/SysfsPowerSource.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <vector>

namespace tapwell {

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, without its trailing newline; absent when unreadable.
std::optional<std::string> readAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t')) {
        line.pop_back();
    }
    return line;
}

std::optional<std::int64_t> readInteger(const fs::path& file) {
    const auto text = readAttribute(file);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto* end = text->data() + text->size();
    const auto [next, error] = std::from_chars(text->data(), end, value);
    if (error != std::errc{} || next != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

SysfsPowerSource::SysfsPowerSource(fs::path root) : root_(std::move(root)) {}

std::optional<PowerSample> SysfsPowerSource::read() {
    std::error_code ec;
    fs::directory_iterator it(root_, ec);
    if (ec) {
        return std::nullopt;
    }
    std::vector<fs::path> supplies;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            return std::nullopt;
        }
        supplies.push_back(it->path());
    }
    if (ec) {
        return std::nullopt;
    }
    // The kernel lists supplies in registration order; names give a stable "first battery".
    std::sort(supplies.begin(), supplies.end());

    bool sawExternalSupply = false;
    bool externalOnline = false;
    std::optional<fs::path> battery;
    for (const auto& supply : supplies) {
        const auto type = readAttribute(supply / "type");
        if (!type) {
            continue;
        }
        if (*type == "Mains" || *type == "USB") {
            sawExternalSupply = true;
            // USB supplies report 2 for an online programmable source.
            if (readInteger(supply / "online").value_or(0) > 0) {
                externalOnline = true;
            }
        } else if (*type == "Battery" && !battery) {
            const auto scope = readAttribute(supply / "scope");
            if (!scope || *scope == "System") {
                battery = supply;
            }
        }
    }

    PowerSample sample;
    if (sawExternalSupply) {
        sample.onAC = externalOnline;
    } else if (battery) {
        sample.onAC = readAttribute(*battery / "status").value_or("Unknown") != "Discharging";
    } else {
        sample.onAC = true;
    }
    if (battery) {
        const auto energyNow = readInteger(*battery / "energy_now");
        const auto energyFull = readInteger(*battery / "energy_full");
        if (energyNow || energyFull) {
            sample.percent = batteryPercent(energyNow, energyFull);
        } else {
            sample.percent = batteryPercent(readInteger(*battery / "charge_now"),
                                            readInteger(*battery / "charge_full"));
        }
    }
    return sample;
}

bool SysfsPowerSource::startNotifications(std::function<void()> onChange) {
    return monitor_.start(std::move(onChange));
}

void SysfsPowerSource::stopNotifications() {
    monitor_.stop();
}

}  // namespace tapwell
