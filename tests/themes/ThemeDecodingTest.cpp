#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "themes/Theme.h"
#include "themes/ThemeFixture.h"

namespace tapwell {
namespace {

using nlohmann::json;
using test::validManifest;

std::expected<Theme, Error> decode(const json& manifest) {
    return decodeTheme(manifest.dump());
}

TEST(ThemeDecoding, ReadsEveryFieldOfAValidManifest) {
    auto theme = decode(validManifest("glass"));
    ASSERT_TRUE(theme) << theme.error().description;
    EXPECT_EQ(theme->schemaVersion, 1);
    EXPECT_EQ(theme->id, "glass");
    EXPECT_FALSE(theme->isDefault);
    EXPECT_EQ(theme->name.at("ja"), "ガラス");
    EXPECT_EQ(theme->shortName.at("zh-Hans"), "玻");
    EXPECT_EQ(theme->tagline.size(), 1u);
    EXPECT_EQ(theme->colors.accent, "#3A7BD5");
    EXPECT_EQ(theme->colors.recap.secondary, "#8899aa");
    EXPECT_FALSE(theme->recapNumberFont);
    EXPECT_EQ(theme->ranks.at("en").at(5), "R5");
    ASSERT_EQ(theme->recapQuips.at("en").size(), 2u);
    EXPECT_EQ(theme->recapQuips.at("en")[0], (std::vector<std::string>{"Nice", "work"}));
    EXPECT_FALSE(theme->floatText);
    EXPECT_EQ(theme->sounds.keyDown.size(), 6u);
    EXPECT_EQ(theme->sounds.enter, "return.wav");
    EXPECT_EQ(theme->sounds.alerts.at("rankUp"), "rankup.wav");
    EXPECT_FALSE(theme->sounds.ambience);
    EXPECT_FLOAT_EQ(theme->mix.typingGainDb, -3.5f);
    EXPECT_FLOAT_EQ(theme->mix.keyUpRelativeDb, -6.0f);
    EXPECT_FALSE(theme->placeholder);
}

TEST(ThemeDecoding, ReturnKeyIsRequiredAndEnterIsNotAccepted) {
    json manifest = validManifest("glass");
    manifest["sounds"]["enter"] = manifest["sounds"]["return"];
    manifest["sounds"].erase("return");
    auto theme = decode(manifest);
    ASSERT_FALSE(theme);
    EXPECT_EQ(theme.error().domain, "json");
    EXPECT_NE(theme.error().description.find("sounds.return"), std::string::npos)
        << theme.error().description;
}

const char* const requiredKeys[] = {
    "/schemaVersion",
    "/id",
    "/isDefault",
    "/name",
    "/shortName",
    "/tagline",
    "/colors",
    "/colors/accent",
    "/colors/onAccent",
    "/colors/tile",
    "/colors/keycap",
    "/colors/recap",
    "/colors/recap/background",
    "/colors/recap/text",
    "/colors/recap/secondary",
    "/colors/recap/accent",
    "/ranks",
    "/recapQuips",
    "/sounds",
    "/sounds/keyDown",
    "/sounds/keyUp",
    "/sounds/space",
    "/sounds/return",
    "/sounds/backspace",
    "/sounds/alerts",
    "/mix",
    "/mix/typingGainDb",
    "/mix/alertGainDb",
    "/mix/keyUpRelativeDb",
    "/placeholder",
};

TEST(ThemeDecoding, EveryRequiredKeyMissingOrNullFails) {
    for (const char* key : requiredKeys) {
        json::json_pointer pointer(key);
        json missing = validManifest("glass");
        missing[pointer.parent_pointer()].erase(pointer.back());
        EXPECT_FALSE(decode(missing)) << "missing " << key;

        json null = validManifest("glass");
        null[pointer] = nullptr;
        EXPECT_FALSE(decode(null)) << "null " << key;
    }
}

TEST(ThemeDecoding, ValuesOfTheWrongJsonTypeFail) {
    const std::pair<const char*, json> cases[] = {
        {"/schemaVersion", "1"},
        {"/id", 7},
        {"/isDefault", 1},
        {"/isDefault", "true"},
        {"/placeholder", 0},
        {"/name", json::array({"Glass"})},
        {"/name/en", 3},
        {"/tagline/en", nullptr},
        {"/colors", "#ffffff"},
        {"/colors/accent", 0x3A7BD5},
        {"/ranks/en", "R0"},
        {"/ranks/en/2", 2},
        {"/recapQuips/en", json::array({"flat quip"})},
        {"/recapQuips/en/0/1", false},
        {"/sounds/keyDown", "down1.wav"},
        {"/sounds/keyUp/0", nullptr},
        {"/sounds/alerts", json::array({"rankup.wav"})},
        {"/sounds/alerts/rankUp", json::array({"rankup.wav"})},
        {"/sounds/ambience", 5},
        {"/mix/alertGainDb", "0"},
        {"/mix/alertGainDb", true},
        {"/recapNumberFont", 12},
        {"/floatText", "float"},
        {"/floatText/en", 1},
    };
    for (const auto& [key, value] : cases) {
        json manifest = validManifest("glass");
        manifest[json::json_pointer(key)] = value;
        EXPECT_FALSE(decode(manifest)) << key << " = " << value.dump();
    }
}

TEST(ThemeDecoding, SchemaVersionAcceptsWholeNumbersOnlyInRange) {
    auto withVersion = [](std::string_view literal) {
        std::string text = validManifest("glass").dump();
        auto at = text.find("\"schemaVersion\":1");
        text.replace(at, 17, "\"schemaVersion\":" + std::string(literal));
        return decodeTheme(text);
    };
    ASSERT_TRUE(withVersion("1.0"));
    EXPECT_EQ(withVersion("1.0")->schemaVersion, 1);
    EXPECT_EQ(withVersion("1e0")->schemaVersion, 1);
    EXPECT_EQ(withVersion("-1")->schemaVersion, -1);
    EXPECT_EQ(withVersion("9223372036854775807")->schemaVersion, INT64_MAX);
    EXPECT_FALSE(withVersion("1.5"));
    EXPECT_FALSE(withVersion("9223372036854775808"));
    EXPECT_FALSE(withVersion("18446744073709551615"));
    EXPECT_FALSE(withVersion("1e30"));
    EXPECT_FALSE(withVersion("1e400"));
    EXPECT_FALSE(withVersion("99999999999999999999999999"));
}

TEST(ThemeDecoding, GainsBeyondFloatRangeBecomeInfinite) {
    std::string text = validManifest("glass").dump();
    auto at = text.find("\"alertGainDb\":0");
    text.replace(at, 15, "\"alertGainDb\":-1e39");
    auto theme = decodeTheme(text);
    ASSERT_TRUE(theme) << theme.error().description;
    EXPECT_TRUE(std::isinf(theme->mix.alertGainDb));
    EXPECT_LT(theme->mix.alertGainDb, 0);

    // Beyond even double range the JSON reader itself refuses the number.
    text.replace(text.find("-1e39"), 5, "1e999");
    theme = decodeTheme(text);
    ASSERT_FALSE(theme);
    EXPECT_NE(theme.error().description.find("1e999"), std::string::npos);
}

TEST(ThemeDecoding, OptionalFieldsTreatNullAsAbsent) {
    json manifest = validManifest("glass");
    manifest["recapNumberFont"] = nullptr;
    manifest["floatText"] = nullptr;
    manifest["sounds"]["ambience"] = nullptr;
    auto theme = decode(manifest);
    ASSERT_TRUE(theme) << theme.error().description;
    EXPECT_FALSE(theme->recapNumberFont);
    EXPECT_FALSE(theme->floatText);
    EXPECT_FALSE(theme->sounds.ambience);

    manifest["recapNumberFont"] = "Menlo";
    manifest["floatText"] = {{"en", "+1"}};
    manifest["sounds"]["ambience"] = "rain.wav";
    theme = decode(manifest);
    ASSERT_TRUE(theme);
    EXPECT_EQ(theme->recapNumberFont, "Menlo");
    EXPECT_EQ(theme->floatText->at("en"), "+1");
    EXPECT_EQ(theme->sounds.ambience, "rain.wav");
}

TEST(ThemeDecoding, UnknownKeysAreIgnoredAtEveryLevel) {
    json manifest = validManifest("glass");
    manifest["author"] = {{"deep", {1, 2, {{"x", nullptr}}}}};
    manifest["colors"]["glow"] = 12;
    manifest["sounds"]["enter"] = "ignored.wav";
    manifest["mix"]["ambienceGainDb"] = "loud";
    auto theme = decode(manifest);
    ASSERT_TRUE(theme) << theme.error().description;
    EXPECT_EQ(theme->sounds.enter, "return.wav");
}

TEST(ThemeDecoding, DuplicateKeysAreRefused) {
    std::string text = validManifest("glass").dump();
    text.insert(1, "\"isDefault\":true,");
    auto theme = decodeTheme(text);
    ASSERT_FALSE(theme);
    EXPECT_NE(theme.error().description.find("Duplicate key \"isDefault\""), std::string::npos)
        << theme.error().description;

    text = validManifest("glass").dump();
    text.insert(text.find("\"background\""), "\"text\":\"#000000\",");
    theme = decodeTheme(text);
    ASSERT_FALSE(theme);
    EXPECT_NE(theme.error().description.find("Duplicate key \"text\" in \"colors.recap\""),
              std::string::npos)
        << theme.error().description;

    text = validManifest("glass").dump();
    text.insert(text.find("[\"Keep going\"]") + 1, "{\"a\":1,\"a\":2},");
    theme = decodeTheme(text);
    ASSERT_FALSE(theme);
    EXPECT_NE(theme.error().description.find("in \"recapQuips.en[1][0]\""), std::string::npos)
        << theme.error().description;

    // The same key in two different objects is fine.
    EXPECT_TRUE(decode(validManifest("glass")));
}

TEST(ThemeDecoding, MalformedTextFailsWithADescription) {
    std::string valid = validManifest("glass").dump();
    std::string deep(100000, '[');
    std::string badUtf8 = valid;
    badUtf8.replace(badUtf8.find("Glass"), 5, "Gl\xC3\x28s");
    std::string loneSurrogate = valid;
    loneSurrogate.replace(loneSurrogate.find("Glass"), 5, "\\ud800");
    const std::string cases[] = {
        "",
        "   ",
        valid.substr(0, valid.size() / 2),
        valid + "}",
        valid + " trailing",
        "[" + valid + "]",
        "null",
        "\"theme\"",
        "42",
        deep,
        "{\"a\":" + deep,
        badUtf8,
        loneSurrogate,
        std::string("{\"schemaVersion\":1\0}", sizeof("{\"schemaVersion\":1\0}") - 1),
        "{'schemaVersion': 1}",
        "{\"schemaVersion\":1,}",
    };
    for (const std::string& text : cases) {
        auto theme = decodeTheme(text);
        ASSERT_FALSE(theme) << text.substr(0, 80);
        EXPECT_EQ(theme.error().domain, "json");
        EXPECT_FALSE(theme.error().description.empty());
    }
}

TEST(ThemeDecoding, EncodingRoundTrips) {
    json manifest = validManifest("glass");
    manifest["recapNumberFont"] = "Menlo";
    manifest["floatText"] = {{"en", "+1"}, {"ja", "＋1"}};
    manifest["sounds"]["ambience"] = "rain.wav";
    manifest["mix"]["typingGainDb"] = 0.1;
    auto theme = decode(manifest);
    ASSERT_TRUE(theme);
    std::string encoded = encodeTheme(*theme);
    auto again = decodeTheme(encoded);
    ASSERT_TRUE(again) << again.error().description;
    EXPECT_EQ(*again, *theme);
    // The JSON key of the return sample stays "return", and gains print short.
    EXPECT_NE(encoded.find("\"return\": \"return.wav\""), std::string::npos);
    EXPECT_NE(encoded.find("\"typingGainDb\": 0.1,"), std::string::npos) << encoded;
    EXPECT_EQ(json::parse(encoded)["mix"]["keyUpRelativeDb"], -6.0);
}

TEST(ThemeSounds, AllFilesHoldsEachDistinctNameOnce) {
    Theme::Sounds sounds;
    sounds.keyDown = {"a.wav", "b.wav", "a.wav"};
    sounds.keyUp = {"b.wav", "u.wav"};
    sounds.space = "s.wav";
    sounds.enter = "s.wav";
    sounds.backspace = "del.wav";
    sounds.alerts = {{"rankUp", "r.wav"}, {"capsOn", "a.wav"}};
    EXPECT_EQ(sounds.allFiles(),
              (std::set<std::string>{"a.wav", "b.wav", "u.wav", "s.wav", "del.wav", "r.wav"}));
    sounds.ambience = "rain.ogg";
    EXPECT_TRUE(sounds.allFiles().contains("rain.ogg"));
    EXPECT_EQ(sounds.allFiles().size(), 7u);
}

TEST(ThemeHex, ConvertsHashAndSixDigitsToSrgb) {
    SrgbColor color = themeHex("#FF8000");
    EXPECT_DOUBLE_EQ(color.red, 1.0);
    EXPECT_DOUBLE_EQ(color.green, 128.0 / 255.0);
    EXPECT_DOUBLE_EQ(color.blue, 0.0);
    EXPECT_DOUBLE_EQ(color.alpha, 1.0);
    EXPECT_EQ(themeHex("#3a7bd5"), themeHex("#3A7BD5"));
    EXPECT_DOUBLE_EQ(themeHex("#0000fe").blue, 254.0 / 255.0);
}

TEST(ThemeHex, UnparsableOrEmptyDigitsGiveBlack) {
    const SrgbColor black{0, 0, 0, 1};
    EXPECT_EQ(themeHex(""), black);
    EXPECT_EQ(themeHex("#"), black);
    EXPECT_EQ(themeHex("#zzzzzz"), black);
    EXPECT_EQ(themeHex("#12345g"), black);
    EXPECT_EQ(themeHex("#+12345"), black);
    EXPECT_EQ(themeHex("#-12345"), black);
    EXPECT_EQ(themeHex("#0x1234"), black);
    EXPECT_EQ(themeHex("#123456789"), black);  // more than 32 bits
    EXPECT_EQ(themeHex("#ff ff ff"), black);
}

TEST(ThemeHex, DropsAnyFirstCharacterAndIgnoresBitsAboveBlue) {
    EXPECT_EQ(themeHex("xFFFFFF"), (SrgbColor{1, 1, 1, 1}));
    // A first character of several bytes is dropped whole.
    EXPECT_EQ(themeHex("é00FF00"), (SrgbColor{0, 1, 0, 1}));
    EXPECT_EQ(themeHex("#AB00FF00"), (SrgbColor{0, 1, 0, 1}));
    EXPECT_EQ(themeHex("#F"), (SrgbColor{0, 0, 15.0 / 255.0, 1}));
}

}  // namespace
}  // namespace tapwell

namespace tapwell {
namespace {

// Every prefix of a valid manifest and every single-byte corruption of it either decodes or fails
// with a description; none may crash (this runs under the sanitizers too).
TEST(ThemeDecoding, SurvivesEveryTruncationAndByteCorruption) {
    const std::string valid = test::validManifest("glass").dump();
    std::size_t decoded = 0;
    for (std::size_t length = 0; length < valid.size(); ++length) {
        auto theme = decodeTheme(std::string_view(valid).substr(0, length));
        ASSERT_FALSE(theme) << length;
        EXPECT_FALSE(theme.error().description.empty());
    }
    for (std::size_t at = 0; at < valid.size(); ++at) {
        for (char replacement : {'\0', '"', '{', ']', '\xFF', '9'}) {
            std::string corrupted = valid;
            corrupted[at] = replacement;
            auto theme = decodeTheme(corrupted);
            if (theme) {
                ++decoded;
            } else {
                EXPECT_FALSE(theme.error().description.empty());
            }
        }
    }
    // Corrupting the inside of a string value leaves a decodable manifest.
    EXPECT_GT(decoded, 0u);
}

}  // namespace
}  // namespace tapwell
