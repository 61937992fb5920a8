#include "platform/registry/RegistryFile.h"
#include "platform/registry/RegFileFormat.h"
#include "platform/registry/Registry.h"
#include "platform/system/ErrorText.h"
#include <cerrno>
#include <charconv>
#include <csignal>
#include <dirent.h>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr const char* kFileSuffix = ".reg";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kBadSuffix = ".bad-";
constexpr const char* kTempInfix = ".tmp-";
constexpr std::time_t kStaleTempAge = 10 * 60;  // seconds; no write takes that long

// Closes the lock file, and with it the lock, on every way out.
class LockFile {
public:
    ~LockFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Returns 0 or an errno value.
    int Acquire(const std::string& path, bool exclusive) {
        fd_ = ::open(path.c_str(), exclusive ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_CLOEXEC, 0600);
        if (fd_ < 0) return errno;
        while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0)
            if (errno != EINTR) return errno;
        return 0;
    }
    void Release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Returns 0 (and the text) or an errno value; ENOENT for a file that is not there.
int ReadWholeFile(const std::string& path, std::string& text) {
    text.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            return e;
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
}

// Returns 0 or the errno value of the step that failed.
int MakeDirectories(const std::string& dir) {
    if (dir.empty()) return ENOENT;
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i != dir.size() && dir[i] != '/') continue;
        std::string part = dir.substr(0, i);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

// The writer's process id is in the name, so a later writer can tell a leftover of a
// killed one: "<root>.reg.tmp-<pid>-XXXXXX".
std::string TempPrefix(const std::string& path) { return path + kTempInfix; }

// Write beside, flush, then rename over: a reader or a crash sees the old file or the
// new one, never a mix. Returns 0 or an errno value.
int ReplaceFile(const std::string& dir, const std::string& path, const std::string& text) {
    std::string tmp = TempPrefix(path) + std::to_string(::getpid()) + "-XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    int err = WriteAll(fd, text);
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        return err;
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return 0;
}

// Called under the exclusive lock, so no writer of this root is between its temporary
// file and its rename: what is there was left by a writer that died. The pid and age
// checks keep this safe even beside a writer that ignores the lock.
void RemoveStaleTemporaries(const std::string& dir, const std::string& fileName) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    const std::string prefix = fileName + kTempInfix;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(d)) {
        std::string_view name = entry->d_name;
        if (!name.starts_with(prefix)) continue;
        std::string_view rest = name.substr(prefix.size());
        long pid = 0;
        auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        const bool named =
            ec == std::errc() && end != rest.data() && end < rest.data() + rest.size() && *end == '-' && pid > 0;
        const bool writerGone = named && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
        struct stat st;
        if (::fstatat(::dirfd(d), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        if (writerGone || now - st.st_mtime > kStaleTempAge) ::unlinkat(::dirfd(d), entry->d_name, 0);
    }
    ::closedir(d);
}

// Renames to a name that does not exist yet; never replaces anything.
bool MoveAside(const std::string& path, std::string& movedTo) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        movedTo = path + kBadSuffix + stamp;
        if (attempt > 1) movedTo += "-" + std::to_string(attempt);
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, movedTo.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) return false;
        // File systems without the no-replace rename: a hard link refuses to overwrite too.
        if (::link(path.c_str(), movedTo.c_str()) == 0) return ::unlink(path.c_str()) == 0;
        if (errno != EEXIST) return false;
    }
    return false;
}

enum class Loaded { Ok, Absent, Bad, Error };

Loaded Load(const std::string& path, std::string_view rootName, RegKey& tree, std::string& why, int& err) {
    tree.Clear();
    std::string text;
    err = ReadWholeFile(path, text);
    if (err == ENOENT) return Loaded::Absent;
    if (err != 0) return Loaded::Error;
    if (RegFileFormat::Parse(text, rootName, tree, &why)) return Loaded::Ok;
    tree.Clear();
    return Loaded::Bad;
}

// The system's code for what went wrong, so that callers can say it in words.
LONG StoreError(int err, LONG otherwise) {
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case EROFS: return ERROR_WRITE_PROTECT;
        case EISDIR: return ERROR_DIRECTORY_NOT_SUPPORTED;
        case ENOTDIR: return ERROR_DIRECTORY;
        case ENOENT: return ERROR_PATH_NOT_FOUND;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return otherwise;
    }
}
LONG ReadError(int err) { return StoreError(err, ERROR_CANTREAD); }
LONG WriteError(int err) { return StoreError(err, ERROR_CANTWRITE); }

std::string FilePath(const std::string& dir, const std::string& rootName) { return dir + "/" + rootName + kFileSuffix; }

// Takes the writers' lock and loads the tree; a damaged file is set aside first.
LONG LockAndLoad(const std::string& dir, const std::string& rootName, LockFile& lock, RegKey& tree) {
    const std::string path = FilePath(dir, rootName);
    if (int err = MakeDirectories(dir); err != 0) return WriteError(err);
    if (int err = lock.Acquire(dir + "/" + rootName + kLockSuffix, true); err != 0) return WriteError(err);
    std::string why;
    int err = 0;
    switch (Load(path, rootName, tree, why, err)) {
        case Loaded::Ok:
        case Loaded::Absent: return ERROR_SUCCESS;
        case Loaded::Error: return ReadError(err);
        case Loaded::Bad: break;
    }
    std::string movedTo;
    if (!MoveAside(path, movedTo)) {
        const int moveErr = errno;
        std::fprintf(stderr, "kestrel: settings file %s is damaged (%s) and cannot be moved aside: %s\n",
                     path.c_str(), why.c_str(), SystemMessageText(moveErr).c_str());
        return WriteError(moveErr);
    }
    std::fprintf(stderr, "kestrel: settings file %s is damaged (%s); kept as %s, starting empty\n", path.c_str(),
                 why.c_str(), movedTo.c_str());
    return ERROR_SUCCESS;
}

LONG Store(const std::string& dir, const std::string& rootName, const RegKey& tree) {
    RemoveStaleTemporaries(dir, rootName + kFileSuffix);
    return WriteError(ReplaceFile(dir, FilePath(dir, rootName), RegFileFormat::Write(tree, rootName)));
}
}  // namespace

struct RegistryFile::Batch {
    std::string rootName;
    std::string dir;
    LockFile lock;
    RegKey tree;
    bool changed = false;
};

namespace {
// The batches this thread has open, one per root at most.
thread_local std::vector<RegistryFile::Batch*> t_batches;

RegistryFile::Batch* OpenBatch(const std::string& rootName) {
    for (RegistryFile::Batch* b : t_batches)
        if (b->rootName == rootName && b->dir == RegistryDirectory()) return b;
    return nullptr;
}
}  // namespace

void RegistryFile::BatchDeleter::operator()(Batch* batch) const {
    std::erase(t_batches, batch);
    delete batch;
}

RegistryFile::RegistryFile(std::string rootName) : rootName_(std::move(rootName)) {}

LONG RegistryFile::Read(RegKey& tree) const {
    if (const Batch* batch = OpenBatch(rootName_)) {
        tree.Clear();
        tree.CopyFrom(batch->tree);
        return ERROR_SUCCESS;
    }
    const std::string dir = RegistryDirectory();
    if (dir.empty()) {  // no home to keep settings in: nothing stored yet
        tree.Clear();
        return ERROR_SUCCESS;
    }
    const std::string path = FilePath(dir, rootName_);
    for (int attempt = 0;; ++attempt) {
        LockFile lock;
        int lockErr = lock.Acquire(dir + "/" + rootName_ + kLockSuffix, false);
        // No lock file means no writer has been here yet; a file put there by hand is
        // read as it stands.
        if (lockErr != 0 && lockErr != ENOENT) return ReadError(lockErr);
        std::string why;
        int err = 0;
        switch (Load(path, rootName_, tree, why, err)) {
            case Loaded::Ok:
            case Loaded::Absent: return ERROR_SUCCESS;
            case Loaded::Error: return ReadError(err);
            case Loaded::Bad: break;
        }
        lock.Release();
        // Setting a bad file aside needs the writers' lock, which Modify takes. If it
        // cannot be set aside, or is bad again at once, the store reads as empty.
        auto noChange = [](RegKey&, bool& changed) {
            changed = false;
            return ERROR_SUCCESS;
        };
        if (attempt > 0 || Modify(noChange) != ERROR_SUCCESS) {
            tree.Clear();
            return ERROR_SUCCESS;
        }
    }
}

LONG RegistryFile::Modify(const std::function<LONG(RegKey& tree, bool& changed)>& change) const {
    bool changed = false;
    if (Batch* batch = OpenBatch(rootName_)) {
        LONG result = change(batch->tree, changed);
        if (result == ERROR_SUCCESS && changed) batch->changed = true;
        return result;
    }
    const std::string dir = RegistryDirectory();
    LockFile lock;
    RegKey tree;
    if (LONG r = LockAndLoad(dir, rootName_, lock, tree); r != ERROR_SUCCESS) return r;
    LONG result = change(tree, changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    return Store(dir, rootName_, tree);
}

LONG RegistryFile::BeginBatch(BatchPtr& batch) const {
    batch.reset();
    if (OpenBatch(rootName_)) return ERROR_SUCCESS;
    BatchPtr fresh(new Batch);
    fresh->rootName = rootName_;
    fresh->dir = RegistryDirectory();
    if (LONG r = LockAndLoad(fresh->dir, rootName_, fresh->lock, fresh->tree); r != ERROR_SUCCESS) return r;
    t_batches.push_back(fresh.get());
    batch = std::move(fresh);
    return ERROR_SUCCESS;
}

LONG RegistryFile::CommitBatch(Batch& batch) {
    if (!batch.changed) return ERROR_SUCCESS;
    LONG r = Store(batch.dir, batch.rootName, batch.tree);
    if (r == ERROR_SUCCESS) batch.changed = false;
    return r;
}
