#pragma once
// A valid theme manifest to start from, and theme folders written from it; each test changes one
// thing. Header-only so that the command-line tests share it.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace tapwell::test {

inline nlohmann::json validManifest(const std::string& id) {
    auto ranks = [](const std::string& prefix) {
        return nlohmann::json::array(
            {prefix + "0", prefix + "1", prefix + "2", prefix + "3", prefix + "4", prefix + "5"});
    };
    return nlohmann::json{
        {"schemaVersion", 1},
        {"id", id},
        {"isDefault", false},
        {"name", {{"en", "Glass"}, {"zh-Hans", "玻璃"}, {"ja", "ガラス"}}},
        {"shortName", {{"en", "Gl"}, {"zh-Hans", "玻"}, {"ja", "ガ"}}},
        {"tagline", {{"en", "Clear and bright"}}},
        {"colors",
         {{"accent", "#3A7BD5"},
          {"onAccent", "#ffffff"},
          {"tile", "#101820"},
          {"keycap", "#202A33"},
          {"recap",
           {{"background", "#000000"},
            {"text", "#FFFFFF"},
            {"secondary", "#8899aa"},
            {"accent", "#3a7bd5"}}}}},
        {"ranks", {{"en", ranks("R")}, {"zh-Hans", ranks("级")}, {"ja", ranks("ランク")}}},
        {"recapQuips", {{"en", {{"Nice", "work"}, {"Keep going"}}}}},
        {"sounds",
         {{"keyDown",
           {"down1.wav", "down2.wav", "down3.wav", "down4.wav", "down5.wav", "down6.wav"}},
          {"keyUp", {"up1.wav", "up2.wav"}},
          {"space", "space.wav"},
          {"return", "return.wav"},
          {"backspace", "backspace.wav"},
          {"alerts", {{"rankUp", "rankup.wav"}, {"capsOn", "caps.wav"}}}}},
        {"mix", {{"typingGainDb", -3.5}, {"alertGainDb", 0}, {"keyUpRelativeDb", -6}}},
        {"placeholder", false},
    };
}

inline void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A WAV file (16-bit mono PCM) of `frames` silent frames at `rate`, with a header that may claim
// other `channels` and `bits` than the data holds: enough for the catalogue's header check.
inline std::string wavBytes(std::uint32_t frames = 16, std::uint32_t rate = 48000,
                            std::uint16_t channels = 1, std::uint16_t bits = 16) {
    std::string bytes;
    auto u32 = [&bytes](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto u16 = [&bytes](std::uint16_t v) {
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>(v >> 8));
    };
    const std::uint32_t data = frames * 2;
    const std::uint16_t align = static_cast<std::uint16_t>(channels * ((bits + 7) / 8));
    bytes += "RIFF";
    u32(36 + data);
    bytes += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * align);
    u16(align);
    u16(bits);
    bytes += "data";
    u32(data);
    bytes.append(data, '\0');
    return bytes;
}

// Writes `root/folder/theme.json` with exactly `manifestText`.
inline std::filesystem::path writeManifestText(const std::filesystem::path& root,
                                               const std::string& folder,
                                               std::string_view manifestText) {
    std::filesystem::path directory = root / folder;
    writeBytes(directory / "theme.json", manifestText);
    return directory;
}

// Writes a theme folder: the manifest and a small file for every sample it names (names that
// would leave the folder are not created).
inline std::filesystem::path writeTheme(const std::filesystem::path& root,
                                        const std::string& folder, const nlohmann::json& manifest) {
    std::filesystem::path directory = writeManifestText(root, folder, manifest.dump(2));
    auto create = [&](const nlohmann::json& name) {
        if (!name.is_string()) {
            return;
        }
        std::string file = name.get<std::string>();
        if (file.empty() || file == "." || file == ".." ||
            file.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
            return;
        }
        writeBytes(directory / file, wavBytes());
    };
    const nlohmann::json& sounds = manifest.value("sounds", nlohmann::json::object());
    if (!sounds.is_object()) {
        return directory;
    }
    for (const char* list : {"keyDown", "keyUp"}) {
        if (sounds.contains(list) && sounds[list].is_array()) {
            for (const auto& name : sounds[list]) {
                create(name);
            }
        }
    }
    for (const char* single : {"space", "return", "backspace", "ambience"}) {
        if (sounds.contains(single)) {
            create(sounds[single]);
        }
    }
    if (sounds.contains("alerts") && sounds["alerts"].is_object()) {
        for (const auto& [alert, name] : sounds["alerts"].items()) {
            create(name);
        }
    }
    return directory;
}

}  // namespace tapwell::test
