#pragma once
// What the harnesses share: a private scratch folder for readers that take a path, and a check
// that stops the run (so libFuzzer keeps the input) when a property of the code does not hold.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tapwell::fuzz {

// A folder of this process, emptied by every call and removed when the process ends.
const std::filesystem::path& freshScratchFolder();

// Writes `bytes` to `path`, creating its parent folders.
void writeBytes(const std::filesystem::path& path, std::string_view bytes);

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Prints what failed and aborts; libFuzzer then saves the input as a crash.
[[noreturn]] void fail(const char* condition, const char* file, int line);

}  // namespace tapwell::fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::tapwell::fuzz::fail(#condition, __FILE__, __LINE__))
