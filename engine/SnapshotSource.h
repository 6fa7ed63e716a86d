#pragma once

// A snapshot as a tree source: a manifest (in the walk's order read in one pass and asked
// folder by folder, even while it still arrives from another machine; in any other order
// held whole in memory) answers as the live folder it was taken of would.

#include "SnapshotTree.h"
#include "TreeSource.h"

#include <future>
#include <memory>
#include <string>

namespace dirwise {

class SnapshotSource : public TreeSource {
public:
    // The tree as it becomes ready: a snapshot file may be read beside the walk of the other
    // root, and the first question to this source waits for it; a stream from another
    // machine is ready at once, its questions waiting only for the folders they need. No tree
    // (nullptr) means it could not be read; the source then answers every question with EIO, and
    // the one who loaded it tells why.
    using Loaded = std::shared_future<std::shared_ptr<const SnapshotData>>;

    // `shown`: the root as rows and diagnostics show it (the snapshot's path, or the remote
    // root as typed).
    SnapshotSource(std::string shown, Loaded tree);

    [[nodiscard]] const std::string &Root() const override { return m_shown; }
    // Lists from the tree: folders in byte order, a link whose target is a folder inside the
    // tree as a folder reached through a link (its identity is the target's, so the walk sees
    // loops), every other link as a file.
    [[nodiscard]] std::unique_ptr<FolderLister> NewLister(WorkerPool &pool,
                                                          bool followLinks) override;
    // Facts from the entries, links inside the tree followed; a link that leads nowhere
    // (dangling, or to an entry the manifest lacks) is None with ENOENT as a live dangling
    // link is; a link that leaves the tree (absolute, or above the root) is compared as a
    // link by its own facts (Other, its own time). Bytes are never there (OpenBytes says
    // ENOTSUP); Digest gives a regular file's sha256 when the manifest has it.
    [[nodiscard]] std::unique_ptr<FileReader> NewReader() override;

private:
    std::string m_shown;
    Loaded m_tree;
};

} // namespace dirwise
