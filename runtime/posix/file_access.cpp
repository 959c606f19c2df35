#include "runtime/posix/file_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/utf.h"

namespace kv::posix {

std::string NativePath(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return {};
    return PathBytesFromUtf16(path);
}

int OpenRegularFile(const std::string& path, bool writable, bool create, FileLock lock) {
    if (path.empty()) return -1;
    int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (create) flags |= O_CREAT;
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    // Non-blocking was only there so that opening a pipe could not hang.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (lock != FileLock::None) {
        const int operation = (lock == FileLock::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
        int result;
        do {
            result = ::flock(fd, operation);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

size_t WriteAll(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t WriteAllAt(int fd, const void* data, size_t size, int64_t offset) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pwrite(fd, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

std::string ReadUpTo(int fd, size_t limit) {
    std::string data(limit, '\0');
    size_t done = 0;
    while (done < limit) {
        const ssize_t n = ::read(fd, data.data() + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    data.resize(done);
    return data;
}

void CloseFile(int fd) {
    if (fd >= 0) ::close(fd);
}

}  // namespace kv::posix
