#pragma once
// Folder change notifications through inotify: entries created, deleted, moved in or out or
// finished writing, attribute changes (including the folder's own permissions), and the folder
// itself moved or deleted. Content writes to files in the folder are left out on purpose: a
// download writes thousands of times, and a file that is still settling is re-listed by the
// watcher's own poll anyway. The descriptor is read on a small thread of its own.

#include "platform/linux/core/FdWatchThread.h"
#include "system/FolderEvents.h"

namespace tapwell {

class InotifyFolderEvents final : public FolderEvents {
  public:
    InotifyFolderEvents() = default;
    ~InotifyFolderEvents() override;

    std::optional<Error> open(const std::filesystem::path& folder,
                              std::function<void()> onChange) override;
    void close() override;

  private:
    void drain();

    int fd_ = -1;
    std::function<void()> onChange_;
    FdWatchThread watch_;
};

}  // namespace tapwell
