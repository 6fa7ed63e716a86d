#pragma once

// The live folder as a source: a tree on a mounted file system, listed ahead on the run's
// workers and read with openat/fstatat relative to folders held open.

#include "FileSystem.h"
#include "TreeSource.h"

#include <atomic>

#include <string>

namespace dirwise {

class LiveSource : public TreeSource {
public:
    // `root` as given; trailing separators are removed (see NormalizeRoot).
    explicit LiveSource(std::string root);

    [[nodiscard]] const std::string &Root() const override { return m_root; }
    // Lists with a bounded number of descriptors (deeper folders close theirs while a child
    // is walked, and are reopened one name at a time, past PATH_MAX too); folders are listed
    // ahead on `pool` unless their path is long.
    [[nodiscard]] std::unique_ptr<FolderLister> NewLister(WorkerPool &pool,
                                                          bool followLinks) override;
    [[nodiscard]] std::unique_ptr<FileReader> NewReader() override;
    // The root's device, inode and mount state.
    void NoteRoot() override;
    // The root's identity taken again (see SameRoot), until it is found gone once.
    [[nodiscard]] bool RootGone() override;

    // The size of one read of a file's bytes: larger files are advised as read in sequence.
    static constexpr std::int64_t BlockSize = 256 * 1024;

private:
    std::string m_root;
    RootIdentity m_identity;
    std::atomic<bool> m_gone{false};
};

} // namespace dirwise
