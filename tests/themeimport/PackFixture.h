#pragma once
// Sound packs the tests make themselves: synthesised sounds written with libsndfile, a config,
// and optionally everything zipped with libzip. Every sound is a 12 kHz square wave at a level of
// its own, so a rendered sample tells which sound played. Header-only so that the command-line
// tests share it.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <zip.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "themes/ThemeFixture.h"

namespace tapwell::test {

// Frames of `level` as a square wave (+, +, -, -), starting positive.
inline std::vector<float> squareWave(float level, std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        samples[i] = (i % 4) < 2 ? level : -level;
    }
    return samples;
}

// Writes mono `samples` (duplicated into every channel) in the given container and rate.
inline void writeAudio(const std::filesystem::path& path, const std::vector<float>& samples,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT, int rate = 48000,
                       int channels = 1) {
    std::filesystem::create_directories(path.parent_path());
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    std::vector<float> interleaved;
    for (float sample : samples) {
        interleaved.insert(interleaved.end(), static_cast<std::size_t>(channels), sample);
    }
    const auto frames = static_cast<sf_count_t>(samples.size());
    EXPECT_EQ(sf_writef_float(file, interleaved.data(), frames), frames);
    sf_close(file);
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// One zip entry: its name, its bytes, and whether it claims to be a symbolic link.
struct ZipEntry {
    std::string name;
    std::string bytes;
    bool symlink = false;
};

inline void writeZip(const std::filesystem::path& path, const std::vector<ZipEntry>& entries) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr) << error;
    for (const ZipEntry& entry : entries) {
        zip_source_t* source = zip_source_buffer(zip, entry.bytes.data(), entry.bytes.size(), 0);
        ASSERT_NE(source, nullptr);
        const zip_int64_t index = zip_file_add(zip, entry.name.c_str(), source, ZIP_FL_ENC_RAW);
        ASSERT_GE(index, 0) << entry.name << ": " << zip_strerror(zip);
        if (entry.symlink) {
            zip_file_set_external_attributes(zip, static_cast<zip_uint64_t>(index), 0,
                                             ZIP_OPSYS_UNIX, (0120777u) << 16);
        }
    }
    ASSERT_EQ(zip_close(zip), 0) << zip_strerror(zip);
}

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Zips every file below `folder`, each under `prefix` + its path, renamed by `rename` when given.
inline void zipFolder(const std::filesystem::path& folder, const std::filesystem::path& zipPath,
                      const std::string& prefix,
                      const std::map<std::string, std::string>& rename = {}) {
    std::vector<ZipEntry> entries;
    for (const auto& file : std::filesystem::recursive_directory_iterator(folder)) {
        if (!file.is_regular_file()) {
            continue;
        }
        std::string name = file.path().lexically_relative(folder).generic_string();
        if (auto renamed = rename.find(name); renamed != rename.end()) {
            name = renamed->second;
        }
        entries.push_back({prefix + name, readAll(file.path())});
    }
    writeZip(zipPath, entries);
}

// A built-in theme folder "glass" marked as default, with real audio for every file.
inline void writeBuiltInTheme(const std::filesystem::path& resources) {
    nlohmann::json manifest = validManifest("glass");
    manifest["isDefault"] = true;
    manifest["sounds"]["ambience"] = "rain.wav";
    const std::filesystem::path folder = writeTheme(resources, "glass", manifest);
    float level = 0.1f;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        if (file.path().extension() == ".wav") {
            writeAudio(file.path(), squareWave(level, 2400));
            level += 0.02f;
        }
    }
}

}  // namespace tapwell::test
