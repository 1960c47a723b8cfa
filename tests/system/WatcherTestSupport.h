#pragma once
// Shared pieces of the folder watcher and monitor tests: a scripted folder event source and a
// counting wrapper around a real one.

#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "support/Counter.h"
#include "system/FolderEvents.h"

namespace tapwell::test {

// Event source whose changes the test fires by hand.
class ScriptedFolderEvents final : public FolderEvents {
  public:
    struct State {
        std::mutex mutex;
        std::function<void()> onChange;
        std::optional<std::filesystem::path> opened;
        int closeCount = 0;
        std::optional<Error> failWith;

        // Reports a change, as the OS would after an event.
        void fire() {
            std::lock_guard lock(mutex);
            if (onChange) {
                onChange();
            }
        }
        bool isOpen() {
            std::lock_guard lock(mutex);
            return static_cast<bool>(onChange);
        }
    };

    explicit ScriptedFolderEvents(std::shared_ptr<State> state) : state_(std::move(state)) {}
    ~ScriptedFolderEvents() override { close(); }

    std::optional<Error> open(const std::filesystem::path& folder,
                              std::function<void()> onChange) override {
        std::lock_guard lock(state_->mutex);
        if (state_->failWith) {
            return state_->failWith;
        }
        state_->opened = folder;
        state_->onChange = std::move(onChange);
        return std::nullopt;
    }
    void close() override {
        std::lock_guard lock(state_->mutex);
        if (state_->onChange) {
            state_->onChange = nullptr;
            ++state_->closeCount;
        }
    }

  private:
    std::shared_ptr<State> state_;
};

// Wraps a real event source and counts the changes it reports, so that a test can wait until the
// OS has told the watcher about a change before it moves the clock.
class CountingFolderEvents final : public FolderEvents {
  public:
    // How many changes the source reported. Telling the watcher and counting are one step as seen
    // from `value`: a test woken by what a change made the watcher do reads a count that already
    // includes that change, so waiting for one more means waiting for the next one.
    class Changes {
      public:
        void report(const std::function<void()>& onChange) {
            std::lock_guard lock(reporting_);
            onChange();
            count_.add();
        }
        int value() {
            std::lock_guard lock(reporting_);
            return count_.value();
        }
        bool waitFor(int wanted) { return count_.waitFor(wanted); }

      private:
        std::mutex reporting_;
        Counter count_;
    };

    CountingFolderEvents(std::unique_ptr<FolderEvents> inner, std::shared_ptr<Changes> changes)
        : inner_(std::move(inner)), changes_(std::move(changes)) {}
    ~CountingFolderEvents() override { close(); }

    std::optional<Error> open(const std::filesystem::path& folder,
                              std::function<void()> onChange) override {
        return inner_->open(folder, [changes = changes_, onChange = std::move(onChange)] {
            changes->report(onChange);
        });
    }
    void close() override { inner_->close(); }

  private:
    std::unique_ptr<FolderEvents> inner_;
    std::shared_ptr<Changes> changes_;
};

inline void appendTo(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline const std::string pngBytes = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of the image";

}  // namespace tapwell::test
