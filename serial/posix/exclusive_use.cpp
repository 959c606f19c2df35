#include "serial/posix/exclusive_use.h"

#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace kv {
namespace {

constexpr char ProcessFolder[] = "/proc";

bool AllDigits(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

struct Folder {
    explicit Folder(const std::string& path) : dir(opendir(path.c_str())) {}
    ~Folder() {
        if (dir) closedir(dir);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    DIR* dir;
};

enum class Holder { No, Yes, Unknown };

// Whether the process has a descriptor on the character device `device`, other than
// `except` (a descriptor number of this process, or an empty text).
Holder ProcessHolds(const std::string& pid, dev_t device, const std::string& except) {
    const std::string fds = std::string(ProcessFolder) + "/" + pid + "/fd";
    Folder folder(fds);
    // A process that ended meanwhile holds nothing; one whose descriptors may not be
    // looked at might hold it.
    if (!folder.dir) return errno == ENOENT ? Holder::No : Holder::Unknown;
    while (const dirent* entry = readdir(folder.dir)) {
        if (!AllDigits(entry->d_name) || except == entry->d_name) continue;
        struct stat st {};
        if (stat((fds + "/" + entry->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
            st.st_rdev == device)
            return Holder::Yes;
    }
    return Holder::No;
}

// Whether any descriptor but `fd` has the terminal open, in this process or another.
bool OpenElsewhere(int fd) {
    struct stat own {};
    if (fstat(fd, &own) != 0) return true;
    Folder processes(ProcessFolder);
    if (!processes.dir) return true;
    const std::string self = std::to_string(getpid());
    const std::string descriptor = std::to_string(fd);
    while (const dirent* entry = readdir(processes.dir)) {
        if (!AllDigits(entry->d_name)) continue;
        const std::string except = self == entry->d_name ? descriptor : std::string();
        if (ProcessHolds(entry->d_name, own.st_rdev, except) != Holder::No) return true;
    }
    return false;
}

}  // namespace

bool SerialHeldExclusively(int fd) {
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) return false;
    return OpenElsewhere(fd);
#else
    (void)fd;
    return false;
#endif
}

}  // namespace kv
