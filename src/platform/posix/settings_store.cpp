#include "platform/settings_store.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix/registry_file.h"

namespace lumora::platform {

namespace {

constexpr char kFolder[] = "Vornex";
constexpr char kFileName[] = "LumoraK37VQ3Sdk.reg";
constexpr char kHive[] = "HKEY_CURRENT_USER\\";
// Files larger than this are not read: they count as unparseable (the tree takes some 25 KB,
// twice that as a UTF-16 export).
constexpr off_t kMaxFileSize = 1 << 20;
// The advisory lock is waited for this many times 5 ms before a save gives up.
constexpr int kLockTries = 2000;
constexpr int kAsideNames = 100;

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
    const passwd* user = getpwuid(getuid());
    if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/') {
        return std::string(user->pw_dir) + "/.config";
    }
    return "";
}

bool MakeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return true;
    if (errno != ENOENT) return false;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    return MakeFolder(path.substr(0, slash)) &&
           (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST);
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

enum class ReadResult { Missing, Read, Unreadable };

ReadResult ReadFile(const std::string& path, std::string* bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    struct stat info;
    ReadResult result = ReadResult::Unreadable;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileSize) {
        bytes->clear();
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            if (n == 0) {
                result = ReadResult::Read;
                break;
            }
            bytes->append(chunk, static_cast<size_t>(n));
            if (bytes->size() > static_cast<size_t>(kMaxFileSize)) break;
        }
    }
    ::close(fd);
    return result;
}

}  // namespace

struct SettingsStore::State {
    Mode mode;
    std::string folder;  // "" when no home folder is known
    std::string path;
    RegistryFile tree;
    ReadResult read = ReadResult::Missing;
    bool parsed = true;  // the file was read and parsed without a skipped line
    std::string bytes;   // the file as read, kept aside before a save replaces an unparsed one
    int lockFd = -1;
    bool writable = false;
    bool changed = false;

    // Keeps the file as it was beside it: a hard link where the file system has them, else a
    // copy of the bytes read. False when no free name is left or neither works.
    bool KeepAside() {
        for (int n = 0; n < kAsideNames; ++n) {
            std::string aside = path + ".unreadable" + (n ? "." + std::to_string(n) : "");
            if (::link(path.c_str(), aside.c_str()) == 0) return true;
            if (errno == EEXIST) continue;
            if (read != ReadResult::Read) {
                // Nothing to copy: move the file itself aside.
                struct stat existing;
                if (::lstat(aside.c_str(), &existing) == 0) continue;
                return ::rename(path.c_str(), aside.c_str()) == 0;
            }
            const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                if (errno == EEXIST) continue;
                return false;
            }
            const bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
            return ::close(fd) == 0 && ok;
        }
        return false;
    }
};

std::string SettingsStore::FilePath() {
    const std::string config = ConfigFolder();
    return config.empty() ? "" : config + "/" + kFolder + "/" + kFileName;
}

SettingsStore::SettingsStore(Mode mode) : state_(new State) {
    State& s = *state_;
    s.mode = mode;
    s.path = FilePath();
    if (s.path.empty()) return;
    s.folder = s.path.substr(0, s.path.rfind('/'));
    if (mode == Mode::Write) {
        if (!MakeFolder(s.folder)) return;
        s.lockFd = ::open((s.path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (s.lockFd < 0) return;
        int tries = 0;
        while (::flock(s.lockFd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || ++tries >= kLockTries) return;
            ::usleep(5000);
        }
        s.writable = true;
    }
    s.read = ReadFile(s.path, &s.bytes);
    if (s.read == ReadResult::Read) {
        s.parsed = s.tree.Parse(s.bytes) && !s.tree.damaged();
    } else {
        s.parsed = s.read == ReadResult::Missing;
    }
}

SettingsStore::~SettingsStore() {
    if (state_->lockFd >= 0) ::close(state_->lockFd);  // also ends the lock
}

bool SettingsStore::HasKey(const char* key) {
    return key != nullptr && state_->tree.HasKey(kHive + std::string(key));
}

bool SettingsStore::ReadValue(const char* key, const char* name, int32_t* value) {
    if (key == nullptr || name == nullptr || value == nullptr) return false;
    return state_->tree.ReadDword(kHive + std::string(key), name, value);
}

bool SettingsStore::CreateKey(const char* key) {
    if (!state_->writable || key == nullptr || key[0] == '\0') return false;
    state_->tree.CreateKey(kHive + std::string(key));
    state_->changed = true;
    return true;
}

bool SettingsStore::WriteValue(const char* key, const char* name, int32_t value) {
    if (!state_->writable || key == nullptr || key[0] == '\0' || name == nullptr) return false;
    state_->tree.SetDword(kHive + std::string(key), name, value);
    state_->changed = true;
    return true;
}

bool SettingsStore::Commit() {
    State& s = *state_;
    if (!s.changed) return true;
    if (!s.writable) return false;
    std::string temp = s.folder + "/." + kFileName + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, s.tree.Text()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && !s.parsed && s.read != ReadResult::Missing) ok = s.KeepAside();
    if (ok) ok = ::rename(temp.c_str(), s.path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    const int folder = ::open(s.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    s.changed = false;
    s.parsed = true;
    s.read = ReadResult::Read;
    return true;
}

}  // namespace lumora::platform
