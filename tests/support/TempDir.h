#pragma once
// A fresh temporary folder per test, removed (with everything in it) when the object goes.

#include <filesystem>
#include <string>
#include <string_view>

namespace tapwell::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    // Writes `contents` to a file below the folder (creating parent folders); returns its path.
    std::filesystem::path write(std::string_view relativePath, std::string_view contents) const;
    std::string read(std::string_view relativePath) const;

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the lifetime of the object, then restores the old value.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const char* value);  // nullptr unsets
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool hadValue_ = false;
    std::string oldValue_;
};

}  // namespace tapwell::test
