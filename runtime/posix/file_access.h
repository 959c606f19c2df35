// The file calls the INI store and the text files share. POSIX has no share modes, so the
// "others may read but not write while we hold it open" rule is kept with flock(2) locks,
// which belong to one open file: a writer holds an exclusive lock, a reader a shared one,
// and a second writer, even inside this process, is refused at once instead of waiting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kv::posix {

enum class FileLock { None, Shared, Exclusive };

// The operating-system form of a UTF-16 path; empty when the path cannot name a file
// (empty, or holding a zero character that would silently cut it short).
std::string NativePath(std::u16string_view path);

// Opens a regular file (never a folder, pipe or device, which could block or mislead) and
// takes the lock without waiting. `create` makes a missing file, readable by everybody and
// writable by its owner. Returns the descriptor, or -1 when any step fails.
int OpenRegularFile(const std::string& path, bool writable, bool create, FileLock lock);

// Writes every byte unless the system reports an error; returns the bytes written.
size_t WriteAll(int fd, const void* data, size_t size);
size_t WriteAllAt(int fd, const void* data, size_t size, int64_t offset);

// Reads up to `limit` bytes from the current position; fewer only at the end of the file.
std::string ReadUpTo(int fd, size_t limit);

void CloseFile(int fd);

}  // namespace kv::posix
