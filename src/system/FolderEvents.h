#pragma once
// The OS's change notifications for one folder: whatever adds, removes, renames or finishes writing
// an entry, changes the folder's own attributes, or moves or deletes the folder itself. Implemented
// per OS under platform/; tests use a fake.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/Error.h"

namespace tapwell {

class FolderEvents {
  public:
    virtual ~FolderEvents() = default;

    // Starts watching `folder`. From then on `onChange` is called (on a thread of the adapter's
    // choosing, never concurrently with itself) after each batch of changes; a lost batch (an
    // overflowing event queue) is reported as a change too. Returns the OS error when the folder
    // cannot be watched (missing, not a folder, no permission); nothing is called then.
    virtual std::optional<Error> open(const std::filesystem::path& folder,
                                      std::function<void()> onChange) = 0;

    // Stops watching and releases the OS resources; once it returns `onChange` is not running and
    // is never called again. Idempotent; the destructor closes too.
    virtual void close() = 0;
};

// Makes a fresh, unopened event source; one per folder watcher.
using FolderEventsFactory = std::function<std::unique_ptr<FolderEvents>()>;

}  // namespace tapwell
