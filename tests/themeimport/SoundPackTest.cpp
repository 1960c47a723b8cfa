#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "themeimport/PackKeyCodes.h"
#include "themeimport/SoundPack.h"

namespace tapwell {
namespace {

using nlohmann::json;

json singleV1() {
    return json{{"name", "Pack"},
                {"key_define_type", "single"},
                {"includes_numpad", false},
                {"sound", "sound.ogg"},
                {"defines", {{"30", {10, 50}}, {"30-up", {100, 40}}, {"57", nullptr}}}};
}

TEST(SoundPack, ReadsBothVersionsAndBothLayouts) {
    auto v1 = decodeSoundPack(singleV1().dump(), "p");
    ASSERT_TRUE(v1.has_value()) << v1.error();
    EXPECT_EQ(v1->version, 1);
    EXPECT_EQ(v1->defineType, SoundPack::DefineType::single);
    ASSERT_EQ(v1->defines.size(), 3u);
    EXPECT_EQ(v1->defines[0].code, 30);
    EXPECT_FALSE(v1->defines[0].isUp);
    EXPECT_EQ(v1->defines[0].sound, (PackSound{"sound.ogg", 10.0, 50.0}));
    EXPECT_TRUE(v1->defines[1].isUp);
    EXPECT_EQ(v1->defines[1].sound, (PackSound{"sound.ogg", 100.0, 40.0}));
    EXPECT_FALSE(v1->defines[2].sound.has_value());

    // Version 2: key-up slices come from "soundup"; a multi pack keeps its general sounds.
    json v2 = singleV1();
    v2.erase("includes_numpad");
    v2["version"] = 2;
    v2["soundup"] = "up.ogg";
    v2["author"] = "A";
    v2["tags"] = {"x"};
    v2["unheard_of"] = 1;
    auto single2 = decodeSoundPack(v2.dump(), "p");
    ASSERT_TRUE(single2.has_value()) << single2.error();
    EXPECT_EQ(single2->defines[1].sound->file, "up.ogg");
    EXPECT_EQ(single2->author, "A");
    EXPECT_EQ(single2->unknownFields, std::vector<std::string>{"unheard_of"});

    v2["key_define_type"] = "multi";
    v2["sound"] = "press/R{0-4}.wav";
    v2["defines"] = {{"14", "b.wav"}, {"14-up", ""}, {"x1", "c.wav"}};
    auto multi2 = decodeSoundPack(v2.dump(), "p");
    ASSERT_TRUE(multi2.has_value()) << multi2.error();
    EXPECT_EQ(multi2->sound, "press/R{0-4}.wav");
    EXPECT_EQ(multi2->soundUp, "up.ogg");
    EXPECT_EQ(multi2->defines[0].sound, (PackSound{"b.wav", std::nullopt, std::nullopt}));
    EXPECT_FALSE(multi2->defines[1].sound.has_value());
    EXPECT_EQ(multi2->ignoredDefines, std::vector<std::string>{"x1"});
}

TEST(SoundPack, RefusesWhatItCannotReadNamingTheField) {
    auto without = [](const char* field) {
        json config = singleV1();
        config.erase(field);
        return config.dump();
    };
    auto with = [](const char* field, json value) {
        json config = singleV1();
        config[field] = std::move(value);
        return config.dump();
    };
    const std::vector<std::pair<std::string, std::string>> cases{
        {"{", "config.json is not valid JSON"},
        // Found by fuzzing: a number beyond a double's range ended the program.
        {R"({"version": 1e400})", "config.json is not valid JSON"},
        {"[]", "does not hold a JSON object"},
        {with("version", 3), "\"version\": 3"},
        {with("version", "2"), "\"version\": \"2\""},
        {without("name"), "no \"name\" field"},
        {without("includes_numpad"), "no \"includes_numpad\" field"},
        {without("defines"), "no \"defines\" field"},
        {with("version", 2), "no \"soundup\" field"},
        {with("name", "  "), "\"name\" in config.json must be a non-empty text"},
        {with("key_define_type", "many"), "\"key_define_type\" in config.json is \"many\""},
        {with("sound", ""), "\"sound\" in config.json must name the audio file"},
        {with("defines", json::array()), "\"defines\" in config.json must be an object"},
        {with("defines", {{"30", {1}}}), "defines.\"30\""},
        {with("defines", {{"30", {-1, 5}}}), "[start_ms, duration_ms]"},
    };
    for (const auto& [text, message] : cases) {
        auto decoded = decodeSoundPack(text, "My Pack");
        ASSERT_FALSE(decoded.has_value()) << text;
        EXPECT_TRUE(decoded.error().starts_with("My Pack: ")) << decoded.error();
        EXPECT_NE(decoded.error().find(message), std::string::npos) << decoded.error();
    }
}

TEST(PackKeyCodes, MapsTheHookCodesToLinuxCodes) {
    struct Case {
        std::int64_t pack;
        std::optional<std::int64_t> linux;
        bool alias;
    };
    for (const Case& c : std::vector<Case>{{1, 1, false},
                                           {57, 57, false},
                                           {83, 83, false},
                                           {84, std::nullopt, false},
                                           {88, 88, false},
                                           {93, 185, false},
                                           {3612, 96, false},
                                           {3667, 111, false},
                                           {57424, 108, false},
                                           {61000, 103, true},
                                           {61011, 111, true},
                                           {61002, std::nullopt, false},
                                           {0, std::nullopt, false}}) {
        auto mapped = mapPackKeyCode(c.pack);
        ASSERT_EQ(mapped.has_value(), c.linux.has_value()) << c.pack;
        if (mapped) {
            EXPECT_EQ(mapped->linuxCode, *c.linux) << c.pack;
            EXPECT_EQ(mapped->isAlias, c.alias) << c.pack;
        }
    }
    EXPECT_EQ(mapPackKeyCode(61000)->standardPackCode, 57416);
    // 1-83, 87, 88 and the 23 others; no alias among them.
    EXPECT_EQ(standardPackKeyCodes().size(), 83u + 2u + 23u);
    for (std::int64_t code : standardPackKeyCodes()) {
        EXPECT_FALSE(mapPackKeyCode(code)->isAlias) << code;
    }
}

}  // namespace
}  // namespace tapwell
