#include "themes/Theme.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "themes/UnicodeText.h"

namespace tapwell {
namespace {

using Json = nlohmann::json;

// Manifests nest four levels deep; anything far deeper is not a manifest and is refused before
// it can cost time or stack.
constexpr std::size_t maxNesting = 64;

// Builds the document like nlohmann's own DOM parser but refuses duplicate keys (which of two
// values would win is not something a manifest author should have to guess) and absurd nesting.
class StrictDocumentBuilder {
  public:
    using NumberInteger = Json::number_integer_t;
    using NumberUnsigned = Json::number_unsigned_t;
    using NumberFloat = Json::number_float_t;
    using String = Json::string_t;
    using Binary = Json::binary_t;

    Json root;
    std::string failure;

    bool null() { return add(Json(nullptr)); }
    bool boolean(bool value) { return add(Json(value)); }
    bool number_integer(NumberInteger value) { return add(Json(value)); }
    bool number_unsigned(NumberUnsigned value) { return add(Json(value)); }
    bool number_float(NumberFloat value, const String&) { return add(Json(value)); }
    bool string(String& value) { return add(Json(std::move(value))); }
    bool binary(Binary& value) { return add(Json::binary(std::move(value))); }

    bool start_object(std::size_t) { return open(Json::object()); }
    bool start_array(std::size_t) { return open(Json::array()); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(String& value) {
        Json& object = *stack_.back();
        if (object.contains(value)) {
            failure = "Duplicate key \"" + value + "\"" + where();
            return false;
        }
        pendingKey_ = std::move(value);
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
        std::string text = error.what();
        // Drop the library's "[json.exception.parse_error.101] " tag; keep its own wording.
        if (auto end = text.find("] "); text.starts_with("[json.exception.") && end != text.npos) {
            text.erase(0, end + 2);
        }
        failure = std::move(text);
        return false;
    }

  private:
    std::vector<Json*> stack_;
    std::vector<std::string> labels_;  // where each open container sits, for messages
    std::string pendingKey_;

    std::string where() const {
        std::string path;
        for (std::size_t i = 1; i < labels_.size(); ++i) {
            if (!path.empty() && !labels_[i].starts_with('[')) {
                path += '.';
            }
            path += labels_[i];
        }
        return path.empty() ? std::string() : " in \"" + path + "\"";
    }

    Json* place(Json value) {
        if (stack_.empty()) {
            root = std::move(value);
            return &root;
        }
        Json& parent = *stack_.back();
        if (parent.is_object()) {
            Json& slot = parent[pendingKey_];
            slot = std::move(value);
            return &slot;
        }
        parent.push_back(std::move(value));
        return &parent.back();
    }

    bool add(Json value) {
        place(std::move(value));
        return true;
    }

    bool open(Json container) {
        if (stack_.size() >= maxNesting) {
            failure = "JSON nesting deeper than " + std::to_string(maxNesting) + " levels";
            return false;
        }
        std::string label;
        if (!stack_.empty()) {
            const Json& parent = *stack_.back();
            label = parent.is_object() ? pendingKey_ : "[" + std::to_string(parent.size()) + "]";
        }
        // Safe to keep: the parent does not grow again until this container is closed.
        stack_.push_back(place(std::move(container)));
        labels_.push_back(std::move(label));
        return true;
    }

    bool close() {
        stack_.pop_back();
        labels_.pop_back();
        return true;
    }
};

struct DecodeFailure {
    std::string message;
};

// Reads typed values out of the document, naming the key path in every complaint.
class Reader {
  public:
    static std::string join(std::string_view path, std::string_view key) {
        return path.empty() ? std::string(key) : std::string(path) + "." + std::string(key);
    }

    static const Json& required(const Json& object, std::string_view key, std::string_view path) {
        auto found = object.find(key);
        if (found == object.end()) {
            throw DecodeFailure{"Missing required key \"" + join(path, key) + "\""};
        }
        if (found->is_null()) {
            throw DecodeFailure{"Required key \"" + join(path, key) + "\" is null"};
        }
        return *found;
    }

    // Absent and null both mean "none".
    static const Json* optional(const Json& object, std::string_view key) {
        auto found = object.find(key);
        if (found == object.end() || found->is_null()) {
            return nullptr;
        }
        return &*found;
    }

    [[noreturn]] static void wrongType(const Json& value, std::string_view expected,
                                       std::string_view path) {
        throw DecodeFailure{"Expected " + std::string(expected) + " for \"" + std::string(path) +
                            "\" but found " + value.type_name()};
    }

    static const Json& object(const Json& value, std::string_view path) {
        if (!value.is_object()) {
            wrongType(value, "an object", path);
        }
        return value;
    }

    static std::string string(const Json& value, std::string_view path) {
        if (!value.is_string()) {
            wrongType(value, "a string", path);
        }
        return value.get<std::string>();
    }

    static bool boolean(const Json& value, std::string_view path) {
        if (!value.is_boolean()) {
            wrongType(value, "a boolean", path);
        }
        return value.get<bool>();
    }

    static std::int64_t integer(const Json& value, std::string_view path) {
        if (value.is_number_integer() && !value.is_number_unsigned()) {
            return value.get<std::int64_t>();
        }
        if (value.is_number_unsigned()) {
            auto number = value.get<std::uint64_t>();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return static_cast<std::int64_t>(number);
            }
        } else if (value.is_number_float()) {
            // A number written with a fraction or exponent is accepted when it is a whole
            // number in range (1.0 is 1); 1.5 or 1e30 is not an integer.
            double number = value.get<double>();
            if (std::isfinite(number) && std::trunc(number) == number && number >= -0x1p63 &&
                number < 0x1p63) {
                return static_cast<std::int64_t>(number);
            }
        } else {
            wrongType(value, "a number", path);
        }
        throw DecodeFailure{"The number for \"" + std::string(path) +
                            "\" does not fit in a 64-bit integer"};
    }

    static float gain(const Json& value, std::string_view path) {
        if (!value.is_number()) {
            wrongType(value, "a number", path);
        }
        double number = value.get<double>();
        // Out-of-range doubles become infinite explicitly (a plain cast would be undefined);
        // validation then rejects them as not finite.
        if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<float>::max()) {
            return std::copysign(std::numeric_limits<float>::infinity(),
                                 static_cast<float>(number > 0 ? 1 : -1));
        }
        return static_cast<float>(number);
    }

    static std::vector<std::string> strings(const Json& value, std::string_view path) {
        if (!value.is_array()) {
            wrongType(value, "an array", path);
        }
        std::vector<std::string> result;
        result.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            result.push_back(string(value[i], std::string(path) + "[" + std::to_string(i) + "]"));
        }
        return result;
    }

    static std::vector<std::vector<std::string>> stringLists(const Json& value,
                                                             std::string_view path) {
        if (!value.is_array()) {
            wrongType(value, "an array", path);
        }
        std::vector<std::vector<std::string>> result;
        result.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            result.push_back(strings(value[i], std::string(path) + "[" + std::to_string(i) + "]"));
        }
        return result;
    }

    template <typename Value, typename ReadValue>
    static std::map<std::string, Value> map(const Json& value, std::string_view path,
                                            ReadValue readValue) {
        object(value, path);
        std::map<std::string, Value> result;
        for (const auto& [key, item] : value.items()) {
            result.emplace(key, readValue(item, join(path, key)));
        }
        return result;
    }

    static std::map<std::string, std::string> stringMap(const Json& value, std::string_view path) {
        return map<std::string>(value, path, &Reader::string);
    }
};

Theme::Colors::Recap readRecapColors(const Json& json) {
    const Json& recap = Reader::object(json, "colors.recap");
    Theme::Colors::Recap result;
    result.background = Reader::string(Reader::required(recap, "background", "colors.recap"),
                                       "colors.recap.background");
    result.text =
        Reader::string(Reader::required(recap, "text", "colors.recap"), "colors.recap.text");
    result.secondary = Reader::string(Reader::required(recap, "secondary", "colors.recap"),
                                      "colors.recap.secondary");
    result.accent =
        Reader::string(Reader::required(recap, "accent", "colors.recap"), "colors.recap.accent");
    return result;
}

Theme::Colors readColors(const Json& json) {
    const Json& colors = Reader::object(json, "colors");
    Theme::Colors result;
    result.accent = Reader::string(Reader::required(colors, "accent", "colors"), "colors.accent");
    result.onAccent =
        Reader::string(Reader::required(colors, "onAccent", "colors"), "colors.onAccent");
    result.tile = Reader::string(Reader::required(colors, "tile", "colors"), "colors.tile");
    result.keycap = Reader::string(Reader::required(colors, "keycap", "colors"), "colors.keycap");
    result.recap = readRecapColors(Reader::required(colors, "recap", "colors"));
    return result;
}

Theme::Sounds readSounds(const Json& json) {
    const Json& sounds = Reader::object(json, "sounds");
    Theme::Sounds result;
    result.keyDown =
        Reader::strings(Reader::required(sounds, "keyDown", "sounds"), "sounds.keyDown");
    result.keyUp = Reader::strings(Reader::required(sounds, "keyUp", "sounds"), "sounds.keyUp");
    result.space = Reader::string(Reader::required(sounds, "space", "sounds"), "sounds.space");
    result.enter = Reader::string(Reader::required(sounds, "return", "sounds"), "sounds.return");
    result.backspace =
        Reader::string(Reader::required(sounds, "backspace", "sounds"), "sounds.backspace");
    result.alerts =
        Reader::stringMap(Reader::required(sounds, "alerts", "sounds"), "sounds.alerts");
    if (const Json* ambience = Reader::optional(sounds, "ambience")) {
        result.ambience = Reader::string(*ambience, "sounds.ambience");
    }
    return result;
}

Theme::Mix readMix(const Json& json) {
    const Json& mix = Reader::object(json, "mix");
    Theme::Mix result;
    result.typingGainDb =
        Reader::gain(Reader::required(mix, "typingGainDb", "mix"), "mix.typingGainDb");
    result.alertGainDb =
        Reader::gain(Reader::required(mix, "alertGainDb", "mix"), "mix.alertGainDb");
    result.keyUpRelativeDb =
        Reader::gain(Reader::required(mix, "keyUpRelativeDb", "mix"), "mix.keyUpRelativeDb");
    return result;
}

Theme readTheme(const Json& json) {
    if (!json.is_object()) {
        throw DecodeFailure{std::string("Expected an object at the top level but found ") +
                            json.type_name()};
    }
    Theme theme;
    theme.schemaVersion =
        Reader::integer(Reader::required(json, "schemaVersion", ""), "schemaVersion");
    theme.id = Reader::string(Reader::required(json, "id", ""), "id");
    theme.isDefault = Reader::boolean(Reader::required(json, "isDefault", ""), "isDefault");
    theme.name = Reader::stringMap(Reader::required(json, "name", ""), "name");
    theme.shortName = Reader::stringMap(Reader::required(json, "shortName", ""), "shortName");
    theme.tagline = Reader::stringMap(Reader::required(json, "tagline", ""), "tagline");
    theme.colors = readColors(Reader::required(json, "colors", ""));
    if (const Json* font = Reader::optional(json, "recapNumberFont")) {
        theme.recapNumberFont = Reader::string(*font, "recapNumberFont");
    }
    theme.ranks = Reader::map<std::vector<std::string>>(Reader::required(json, "ranks", ""),
                                                        "ranks", &Reader::strings);
    theme.recapQuips = Reader::map<std::vector<std::vector<std::string>>>(
        Reader::required(json, "recapQuips", ""), "recapQuips", &Reader::stringLists);
    if (const Json* floatText = Reader::optional(json, "floatText")) {
        theme.floatText = Reader::stringMap(*floatText, "floatText");
    }
    theme.sounds = readSounds(Reader::required(json, "sounds", ""));
    theme.mix = readMix(Reader::required(json, "mix", ""));
    theme.placeholder = Reader::boolean(Reader::required(json, "placeholder", ""), "placeholder");
    return theme;
}

Error decodingError(std::string description) {
    return Error{"json", 0, std::move(description)};
}

// The shortest decimal text that reads back as the same float, stored as a double so that the
// manifest shows "-6.5" rather than "-6.5000000000".
Json gainJson(float gain) {
    if (!std::isfinite(gain)) {
        return Json(nullptr);  // JSON has no infinities; decoding such a manifest fails loudly
    }
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, gain);
    double value = gain;
    if (error == std::errc()) {
        std::from_chars(buffer, end, value);
    }
    return Json(value);
}

}  // namespace

std::set<std::string> Theme::Sounds::allFiles() const {
    std::set<std::string> files(keyDown.begin(), keyDown.end());
    files.insert(keyUp.begin(), keyUp.end());
    files.insert(space);
    files.insert(enter);
    files.insert(backspace);
    for (const auto& [alert, file] : alerts) {
        files.insert(file);
    }
    if (ambience) {
        files.insert(*ambience);
    }
    return files;
}

std::expected<Theme, Error> decodeTheme(std::string_view json) {
    StrictDocumentBuilder builder;
    bool parsed = false;
    try {
        parsed = Json::sax_parse(json, &builder);
    } catch (const std::exception& error) {
        return std::unexpected(decodingError(error.what()));
    }
    if (!parsed) {
        return std::unexpected(decodingError(
            builder.failure.empty() ? "The manifest is not valid JSON" : builder.failure));
    }
    try {
        return readTheme(builder.root);
    } catch (const DecodeFailure& failure) {
        return std::unexpected(decodingError(failure.message));
    }
}

std::string encodeTheme(const Theme& theme, int indent) {
    using Ordered = nlohmann::ordered_json;
    auto stringMap = [](const std::map<std::string, std::string>& map) {
        Ordered object = Ordered::object();
        for (const auto& [key, value] : map) {
            object[key] = value;
        }
        return object;
    };
    Ordered json = Ordered::object();
    json["schemaVersion"] = theme.schemaVersion;
    json["id"] = theme.id;
    json["isDefault"] = theme.isDefault;
    json["name"] = stringMap(theme.name);
    json["shortName"] = stringMap(theme.shortName);
    json["tagline"] = stringMap(theme.tagline);
    json["colors"] = {
        {"accent", theme.colors.accent},
        {"onAccent", theme.colors.onAccent},
        {"tile", theme.colors.tile},
        {"keycap", theme.colors.keycap},
        {"recap",
         {{"background", theme.colors.recap.background},
          {"text", theme.colors.recap.text},
          {"secondary", theme.colors.recap.secondary},
          {"accent", theme.colors.recap.accent}}},
    };
    if (theme.recapNumberFont) {
        json["recapNumberFont"] = *theme.recapNumberFont;
    }
    json["ranks"] = Ordered::object();
    for (const auto& [language, names] : theme.ranks) {
        json["ranks"][language] = names;
    }
    json["recapQuips"] = Ordered::object();
    for (const auto& [language, quips] : theme.recapQuips) {
        json["recapQuips"][language] = quips;
    }
    if (theme.floatText) {
        json["floatText"] = stringMap(*theme.floatText);
    }
    Ordered sounds = Ordered::object();
    sounds["keyDown"] = theme.sounds.keyDown;
    sounds["keyUp"] = theme.sounds.keyUp;
    sounds["space"] = theme.sounds.space;
    sounds["return"] = theme.sounds.enter;
    sounds["backspace"] = theme.sounds.backspace;
    sounds["alerts"] = stringMap(theme.sounds.alerts);
    if (theme.sounds.ambience) {
        sounds["ambience"] = *theme.sounds.ambience;
    }
    json["sounds"] = std::move(sounds);
    json["mix"] = {
        {"typingGainDb", gainJson(theme.mix.typingGainDb)},
        {"alertGainDb", gainJson(theme.mix.alertGainDb)},
        {"keyUpRelativeDb", gainJson(theme.mix.keyUpRelativeDb)},
    };
    json["placeholder"] = theme.placeholder;
    return json.dump(indent, ' ', false, Ordered::error_handler_t::replace) +
           (indent >= 0 ? "\n" : "");
}

SrgbColor themeHex(std::string_view color) {
    std::string_view digits = dropFirstGrapheme(color);
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    // Only a complete run of hexadecimal digits counts; from_chars would accept a prefix.
    bool parsed = !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
    if (!parsed) {
        value = 0;
    }
    return SrgbColor{
        static_cast<double>((value >> 16) & 0xFF) / 255.0,
        static_cast<double>((value >> 8) & 0xFF) / 255.0,
        static_cast<double>(value & 0xFF) / 255.0,
        1.0,
    };
}

}  // namespace tapwell
