#pragma once
#include "platform/com/ComTypes.h"
#include "platform/registry/RegKey.h"
#include <functional>
#include <memory>
#include <string>

// The file of one registry root in the store directory. Readers take a shared lock on
// a lock file beside it; every change is an exclusive-locked read-modify-write that
// replaces the file atomically, so concurrent threads and processes never lose or
// half-see a change. A file that does not parse is renamed aside, never overwritten.
// Failures are the system's error codes (full disk, access denied, ...), not a blanket
// "cannot write".
class RegistryFile {
public:
    // A batch holds the exclusive lock and the tree from BeginBatch to EndBatch; while
    // it is open, the calling thread's Read and Modify of that root work on its tree.
    struct Batch;
    struct BatchDeleter {
        void operator()(Batch* batch) const;
    };
    using BatchPtr = std::unique_ptr<Batch, BatchDeleter>;

    explicit RegistryFile(std::string rootName);

    // The whole tree as stored now; an absent file is an empty tree.
    LONG Read(RegKey& tree) const;
    // Runs change on the stored tree under the exclusive lock and writes the result
    // back when change succeeds and says it changed something.
    LONG Modify(const std::function<LONG(RegKey& tree, bool& changed)>& change) const;

    // Null batch with a failure, or the batch. A thread that already has a batch open
    // on this root gets a null batch and success: its changes go into the open one.
    LONG BeginBatch(BatchPtr& batch) const;
    // Writes the batch's tree with one atomic replace when asked to and it changed.
    static LONG CommitBatch(Batch& batch);

    const std::string& RootName() const { return rootName_; }

private:
    std::string rootName_;
};
