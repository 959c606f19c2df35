#include "runtime/file_access.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/utf.h"

// POSIX has no share modes, so the sharing rule is kept with flock(2) locks, which belong
// to one open file: a writer holds an exclusive lock, a reader a shared one, and a second
// writer, even inside this process, is refused at once instead of waiting.

namespace kv::native {
namespace {

// A new file: readable by everybody, writable by its owner.
constexpr mode_t NewFileMode = 0644;
constexpr char TemporarySuffix[] = ".XXXXXX";

int fdOf(FileHandle file) {
    return static_cast<int>(file);
}

std::string nativePath(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return {};
    return PathBytesFromUtf16(path);
}

size_t writeAll(int fd, const void* data, size_t size) {
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

int closeRetrying(int fd) {
    // On Linux the descriptor is gone even when close reports EINTR; it is not retried.
    return ::close(fd);
}

bool isLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable. Not every file system can sync a folder; that is no
// reason to fail a replacement that has already happened.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool isFolderRefusal(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

}  // namespace

FileHandle OpenRegularFile(std::u16string_view path, bool writable, bool create, FileLock lock) {
    const std::string native = nativePath(path);
    if (native.empty()) return NoFile;
    int flags = (writable ? O_RDWR | O_NOFOLLOW : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (create) flags |= O_CREAT;
    int fd = ::open(native.c_str(), flags, NewFileMode);
    // A link in the file's place goes, and a file of its own is made there: exclusively, so
    // that a link put back meanwhile is refused rather than followed.
    if (fd < 0 && errno == ELOOP && writable && create && isLink(native) &&
        ::unlink(native.c_str()) == 0)
        fd = ::open(native.c_str(), flags | O_EXCL, NewFileMode);
    if (fd < 0) return NoFile;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return NoFile;
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
            return NoFile;
        }
    }
    return fd;
}

void CloseFile(FileHandle file) {
    if (file >= 0) ::close(fdOf(file));
}

std::string ReadUpTo(FileHandle file, size_t limit) {
    std::string data(limit, '\0');
    size_t done = 0;
    while (done < limit) {
        const ssize_t n = ::read(fdOf(file), data.data() + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    data.resize(done);
    return data;
}

bool WriteWhole(FileHandle file, const void* data, size_t size) {
    if (file < 0) return false;
    if (size == 0) return true;
    const int fd = fdOf(file);
    struct stat before {};
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    // A pipe or a terminal has no position, and nothing it took can be taken back.
    if (position < 0 && errno == ESPIPE) return writeAll(fd, data, size) == size;
    if (position < 0 || ::fstat(fd, &before) != 0) return false;
    if (writeAll(fd, data, size) == size) return true;
    // A full disk takes part of a write before it refuses the rest; that part goes again.
    struct stat after {};
    if (::fstat(fd, &after) == 0 && after.st_size > before.st_size) {
        while (::ftruncate(fd, before.st_size) != 0 && errno == EINTR) {
        }
    }
    ::lseek(fd, position, SEEK_SET);
    return false;
}

FileHandle FileOfStream(std::FILE* stream) {
    if (stream == nullptr) return NoFile;
    std::fflush(stream);
    const int fd = ::fileno(stream);
    return fd < 0 ? NoFile : fd;
}

bool ReaderGone(FileHandle file) {
    if (file < 0) return false;
    pollfd state{fdOf(file), POLLOUT, 0};
    return ::poll(&state, 1, 0) == 1 && (state.revents & POLLERR) != 0;
}

int64_t FileSize(FileHandle file) {
    struct stat info {};
    if (file < 0 || ::fstat(fdOf(file), &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

bool SeekTo(FileHandle file, int64_t position) {
    if (file < 0 || position < 0) return false;
    return ::lseek(fdOf(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool SetFileEnd(FileHandle file, int64_t size) {
    if (file < 0 || size < 0) return false;
    int result;
    do {
        result = ::ftruncate(fdOf(file), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool IsStillAt(FileHandle file, std::u16string_view path) {
    const std::string native = nativePath(path);
    struct stat open {};
    struct stat named {};
    if (file < 0 || native.empty() || ::fstat(fdOf(file), &open) != 0) return false;
    if (::stat(native.c_str(), &named) != 0) return false;
    return open.st_nlink > 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

ReplaceResult ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
    const std::string native = nativePath(path);
    if (native.empty()) return ReplaceResult::Failed;

    std::string temporary = native + TemporarySuffix;
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return isFolderRefusal(errno) ? ReplaceResult::FolderLocked : ReplaceResult::Failed;

    // The permissions of the file in the path's place; a link lends none of its target's.
    struct stat old {};
    if (::lstat(native.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777);
        // Only works for the superuser, who should not turn a user's file into root's.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        }
    } else {
        ::fchmod(fd, NewFileMode);
    }

    bool written = writeAll(fd, bytes.data(), bytes.size()) == bytes.size();
    written = ::fsync(fd) == 0 && written;
    written = closeRetrying(fd) == 0 && written;
    // rename() puts the new file in the place of whatever the path names, a link included.
    if (!written || ::rename(temporary.c_str(), native.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return ReplaceResult::Failed;
    }
    syncFolder(folderOf(native));
    return ReplaceResult::Done;
}

}  // namespace kv::native
