#include "platform/registry/RegistryFile.h"
#include "platform/registry/RegFileFormat.h"
#include "platform/registry/Registry.h"
#include "platform/system/ErrorText.h"
#include <cerrno>
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

bool MakeDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i != dir.size() && dir[i] != '/') continue;
        std::string part = dir.substr(0, i);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Write beside, flush, then rename over: a reader or a crash sees the old file or the
// new one, never a mix.
bool ReplaceFile(const std::string& dir, const std::string& path, const std::string& text) {
    std::string tmp = path + ".tmp-XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
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

LONG ReadError(int err) { return err == EACCES || err == EPERM ? ERROR_ACCESS_DENIED : ERROR_BADDB; }
}  // namespace

RegistryFile::RegistryFile(std::string rootName) : rootName_(std::move(rootName)) {}

LONG RegistryFile::Read(RegKey& tree) const {
    const std::string dir = RegistryDirectory();
    if (dir.empty()) {  // no home to keep settings in: nothing stored yet
        tree.Clear();
        return ERROR_SUCCESS;
    }
    const std::string path = dir + "/" + rootName_ + kFileSuffix;
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
    const std::string dir = RegistryDirectory();
    const std::string path = dir + "/" + rootName_ + kFileSuffix;
    if (!MakeDirectories(dir)) return ERROR_CANTWRITE;
    LockFile lock;
    if (lock.Acquire(dir + "/" + rootName_ + kLockSuffix, true) != 0) return ERROR_CANTWRITE;

    RegKey tree;
    std::string why;
    int err = 0;
    switch (Load(path, rootName_, tree, why, err)) {
        case Loaded::Ok:
        case Loaded::Absent: break;
        case Loaded::Error: return ReadError(err);
        case Loaded::Bad: {
            std::string movedTo;
            if (!MoveAside(path, movedTo)) {
                std::fprintf(stderr, "kestrel: settings file %s is damaged (%s) and cannot be moved aside: %s\n",
                             path.c_str(), why.c_str(), SystemMessageText(errno).c_str());
                return ERROR_CANTWRITE;
            }
            std::fprintf(stderr, "kestrel: settings file %s is damaged (%s); kept as %s, starting empty\n",
                         path.c_str(), why.c_str(), movedTo.c_str());
            break;
        }
    }
    bool changed = false;
    LONG result = change(tree, changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    return ReplaceFile(dir, path, RegFileFormat::Write(tree, rootName_)) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}
