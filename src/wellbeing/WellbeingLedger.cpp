#include "wellbeing/WellbeingLedger.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/Calendar.h"
#include "core/Saturating.h"
#include "core/UserDefaults.h"

namespace tapwell {

namespace {

using Json = nlohmann::json;

// A JSON number usable as a date: finite, whatever its text form.
std::optional<Date> dateFromJson(const Json& value) {
    if (!value.is_number()) {
        return std::nullopt;
    }
    double seconds = value.get<double>();
    if (!std::isfinite(seconds)) {
        return std::nullopt;
    }
    return Date{seconds};
}

// A JSON number holding a whole count that fits 64 bits (2 and 2.0 both count).
std::optional<std::int64_t> countFromJson(const Json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        double number = value.get<double>();
        // 2^63 is exactly representable; everything below it fits.
        if (std::isfinite(number) && std::trunc(number) == number && number >= -0x1p63 &&
            number < 0x1p63) {
            return static_cast<std::int64_t>(number);
        }
    }
    return std::nullopt;
}

std::optional<Date> optionalDate(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    return dateFromJson(*it);
}

}  // namespace

std::int64_t WellbeingLedger::count(const std::string& day) const {
    auto it = counts.find(day);
    return it == counts.end() ? 0 : it->second;
}

std::string WellbeingLedger::marker(std::string_view day, WellbeingEvent event) {
    std::string text(day);
    text += '/';
    text += toString(event);
    return text;
}

void WellbeingLedger::commit(WellbeingEvent event, const std::string& day, Date date,
                             const Calendar& calendar) {
    std::int64_t& count = counts[day];
    count = saturatingAdd(count, 1);
    last[toString(event)] = date;
    once.insert(marker(day, event));

    // Day identifiers of equal width sort in date order, so plain string order finds the old
    // entries; a marker "<cutoff>/..." sorts after "<cutoff>" and survives with its day.
    const std::string cutoff = calendar.dayID(date - retentionSeconds);
    std::erase_if(counts, [&](const auto& entry) { return entry.first < cutoff; });
    std::erase_if(once, [&](const std::string& text) { return text < cutoff; });
}

void WellbeingLedger::commit(WellbeingEvent event, const std::string& day, Date date) {
    commit(event, day, date, Calendar::current());
}

std::optional<std::string> WellbeingLedger::toJSON() const {
    Json object = Json::object();
    Json countsObject = Json::object();
    for (const auto& [day, value] : counts) {
        countsObject[day] = value;
    }
    Json lastObject = Json::object();
    for (const auto& [name, date] : last) {
        lastObject[name] = date.secondsSinceReferenceDate;
    }
    Json onceArray = Json::array();
    for (const std::string& text : once) {
        onceArray.push_back(text);
    }
    object["counts"] = std::move(countsObject);
    object["last"] = std::move(lastObject);
    object["once"] = std::move(onceArray);
    if (pausedUntil) {
        object["pausedUntil"] = pausedUntil->secondsSinceReferenceDate;
    }
    if (deferredUntil) {
        object["deferredUntil"] = deferredUntil->secondsSinceReferenceDate;
    }
    try {
        // Strict UTF-8 checking: text that cannot be written faithfully fails the encoding.
        return object.dump();
    } catch (const Json::exception&) {
        return std::nullopt;
    }
}

std::optional<WellbeingLedger> WellbeingLedger::fromJSON(std::string_view json) {
    Json object = Json::parse(json, nullptr, false);
    if (object.is_discarded() || !object.is_object()) {
        return std::nullopt;
    }
    auto countsIt = object.find("counts");
    auto lastIt = object.find("last");
    auto onceIt = object.find("once");
    if (countsIt == object.end() || !countsIt->is_object() || lastIt == object.end() ||
        !lastIt->is_object() || onceIt == object.end() || !onceIt->is_array()) {
        return std::nullopt;
    }

    WellbeingLedger ledger;
    for (const auto& [day, value] : countsIt->items()) {
        auto number = countFromJson(value);
        if (!number) {
            return std::nullopt;
        }
        ledger.counts.emplace(day, *number);
    }
    for (const auto& [name, value] : lastIt->items()) {
        auto date = dateFromJson(value);
        if (!date) {
            return std::nullopt;
        }
        ledger.last.emplace(name, *date);
    }
    for (const Json& element : *onceIt) {
        if (!element.is_string()) {
            return std::nullopt;
        }
        ledger.once.insert(element.get<std::string>());
    }
    ledger.pausedUntil = optionalDate(object, "pausedUntil");
    ledger.deferredUntil = optionalDate(object, "deferredUntil");
    return ledger;
}

WellbeingLedger WellbeingLedger::load(const UserDefaults& defaults) {
    auto data = defaults.dataValue(defaultsKey);
    if (!data) {
        return {};
    }
    std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    return fromJSON(text).value_or(WellbeingLedger{});
}

bool WellbeingLedger::save(UserDefaults& defaults) const {
    auto json = toJSON();
    if (!json) {
        return false;
    }
    defaults.set(defaultsKey, Bytes(json->begin(), json->end()));
    return true;
}

}  // namespace tapwell
