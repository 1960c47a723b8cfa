#include "core/UserInstance.h"

#include <nlohmann/json.hpp>

#include <array>
#include <utility>

namespace tapwell {

using nlohmann::json;

namespace {

constexpr std::array<std::pair<InstanceRequest::Kind, const char*>, 5> kindNames = {{
    {InstanceRequest::Kind::reopen, "reopen"},
    {InstanceRequest::Kind::openSettings, "openSettings"},
    {InstanceRequest::Kind::openOnboarding, "openOnboarding"},
    {InstanceRequest::Kind::exportStats, "exportStats"},
    {InstanceRequest::Kind::deleteStats, "deleteStats"},
}};

}  // namespace

std::string InstanceRequest::encode() const {
    json object = json::object();
    for (const auto& [value, name] : kindNames) {
        if (value == kind) {
            object["request"] = name;
        }
    }
    if (kind == Kind::exportStats) {
        object["file"] = file.string();
    }
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<InstanceRequest> InstanceRequest::decode(std::string_view line) {
    const json object = json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object() || !object.contains("request") || !object["request"].is_string()) {
        return std::nullopt;
    }
    const std::string name = object["request"].get<std::string>();
    for (const auto& [value, known] : kindNames) {
        if (name != known) {
            continue;
        }
        InstanceRequest request{value, {}};
        if (value == Kind::exportStats) {
            const auto it = object.find("file");
            if (it == object.end() || !it->is_string()) {
                return std::nullopt;
            }
            request.file = it->get<std::string>();
            if (!request.file.is_absolute()) {
                return std::nullopt;
            }
        }
        return request;
    }
    return std::nullopt;
}

std::string InstanceReply::encode() const {
    json object = json::object();
    object["ok"] = !error.has_value();
    if (error) {
        object["error"] = *error;
    }
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<InstanceReply> InstanceReply::decode(std::string_view line) {
    const json object = json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object() || !object.contains("ok") || !object["ok"].is_boolean()) {
        return std::nullopt;
    }
    InstanceReply reply;
    if (!object["ok"].get<bool>()) {
        const auto it = object.find("error");
        reply.error =
            it != object.end() && it->is_string() ? it->get<std::string>() : std::string("failed");
    }
    return reply;
}

}  // namespace tapwell
