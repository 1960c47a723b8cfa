#include "themes/SampleFile.h"

#include <fmt/format.h>

#include <cerrno>

namespace tapwell {

namespace {

// Only the first power of ten of a number of seconds matters to a reader.
std::string secondsText(double seconds) {
    return seconds < 10 ? fmt::format("{:.1f} s", seconds) : fmt::format("{:.0f} s", seconds);
}

}  // namespace

double SampleLimits::longestSeconds(SampleRole role) {
    switch (role) {
        case SampleRole::key:
            return longestKeySeconds;
        case SampleRole::alert:
            return longestAlertSeconds;
        case SampleRole::ambience:
            return longestAmbienceSeconds;
    }
    return longestKeySeconds;
}

const char* toString(SampleRole role) {
    switch (role) {
        case SampleRole::key:
            return "key sound";
        case SampleRole::alert:
            return "alert";
        case SampleRole::ambience:
            return "ambience";
    }
    return "sound";
}

std::expected<SampleInfo, Error> readSampleHeader(const std::filesystem::path& file) {
    auto reader = AudioFileReader::open(file);
    if (!reader) {
        return std::unexpected(std::move(reader.error()));
    }
    return (*reader)->info();
}

std::optional<std::string> sampleProblem(const SampleInfo& info, SampleRole role) {
    if (info.channels < 1 || info.channels > SampleLimits::maxChannels) {
        return fmt::format("holds {} channels (1 to {} are played)", info.channels,
                           SampleLimits::maxChannels);
    }
    if (info.sampleRate < SampleLimits::minSampleRate ||
        info.sampleRate > SampleLimits::maxSampleRate) {
        return fmt::format("has a sample rate of {} Hz ({} to {} Hz are played)", info.sampleRate,
                           SampleLimits::minSampleRate, SampleLimits::maxSampleRate);
    }
    if (info.frames <= 0) {
        return std::string("holds no sound");
    }
    const double longest = SampleLimits::longestSeconds(role);
    if (info.seconds() > longest) {
        return fmt::format("lasts {}, longer than the {} of a {}", secondsText(info.seconds()),
                           secondsText(longest), toString(role));
    }
    return std::nullopt;
}

std::map<std::string, SampleRole> sampleRoles(const Theme::Sounds& sounds) {
    std::map<std::string, SampleRole> roles;
    auto hold = [&roles](const std::string& name, SampleRole role) {
        auto [it, inserted] = roles.emplace(name, role);
        if (!inserted &&
            SampleLimits::longestSeconds(role) > SampleLimits::longestSeconds(it->second)) {
            it->second = role;
        }
    };
    for (const auto* pool : {&sounds.keyDown, &sounds.keyUp}) {
        for (const std::string& name : *pool) {
            hold(name, SampleRole::key);
        }
    }
    for (const std::string* name : {&sounds.space, &sounds.enter, &sounds.backspace}) {
        hold(*name, SampleRole::key);
    }
    for (const auto& [alert, name] : sounds.alerts) {
        hold(name, SampleRole::alert);
    }
    if (sounds.ambience) {
        hold(*sounds.ambience, SampleRole::ambience);
    }
    return roles;
}

std::optional<Error> checkThemeSamples(const Theme& theme, const std::filesystem::path& directory) {
    double total = 0;
    for (const auto& [name, role] : sampleRoles(theme.sounds)) {
        auto info = readSampleHeader(directory / name);
        if (!info) {
            return Error{
                "audio", info.error().code,
                fmt::format("\"{}\" cannot be read as audio: {}", name, info.error().description)};
        }
        if (auto problem = sampleProblem(*info, role)) {
            return Error{"audio", EINVAL, fmt::format("\"{}\" {}", name, *problem)};
        }
        total += info->seconds();
    }
    if (total > SampleLimits::longestThemeSeconds) {
        return Error{
            "audio", EFBIG,
            fmt::format("the sound files last {} together, longer than the {} a theme "
                        "may hold",
                        secondsText(total), secondsText(SampleLimits::longestThemeSeconds))};
    }
    return std::nullopt;
}

}  // namespace tapwell
