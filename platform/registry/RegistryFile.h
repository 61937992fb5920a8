#pragma once
#include "platform/com/ComTypes.h"
#include "platform/registry/RegKey.h"
#include <functional>
#include <string>

// The file of one registry root in the store directory. Readers take a shared lock on
// a lock file beside it; every change is an exclusive-locked read-modify-write that
// replaces the file atomically, so concurrent threads and processes never lose or
// half-see a change. A file that does not parse is renamed aside, never overwritten.
class RegistryFile {
public:
    explicit RegistryFile(std::string rootName);

    // The whole tree as stored now; an absent file is an empty tree.
    LONG Read(RegKey& tree) const;
    // Runs change on the stored tree under the exclusive lock and writes the result
    // back when change succeeds and says it changed something.
    LONG Modify(const std::function<LONG(RegKey& tree, bool& changed)>& change) const;

    const std::string& RootName() const { return rootName_; }

private:
    std::string rootName_;
};
