// The file calls of the settings store and the text files, one implementation per platform
// (runtime/posix/, runtime/win32/). Nothing here names a system type: a file is an opaque
// handle, a path is UTF-16.
//
// Sharing: a file opened for writing is held so that others may read it but no second
// writer, even inside this process, gets it; a reader holding it shared keeps writers out.
// A refused open fails at once instead of waiting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kv::native {

using FileHandle = intptr_t;
inline constexpr FileHandle NoFile = -1;

enum class FileLock { None, Shared, Exclusive };

// Opens a regular file (never a folder, pipe or device, which could block or mislead).
// `create` makes a missing file, readable by everybody and writable by its owner. A file
// opened for writing is never reached through a symbolic link: with `create` a link at the
// path is replaced by a new file, and the file it leads to is neither written nor made;
// without, the open fails. An empty path, or one holding a zero character, names no file.
// NoFile when any step fails.
FileHandle OpenRegularFile(std::u16string_view path, bool writable, bool create, FileLock lock);
void CloseFile(FileHandle file);

// Reads up to `limit` bytes from the current position; fewer only at the end of the file.
std::string ReadUpTo(FileHandle file, size_t limit);

// Writes all bytes at the current position, or none: when the system takes only part of
// them (a full disk, an I/O error) a file that was being extended is cut back to its
// former end, so no fragment stays behind. A pipe or a terminal cannot be cut back; it is
// given every byte it takes. True when every byte was written.
bool WriteWhole(FileHandle file, const void* data, size_t size);

// The file behind a C stream (standard output, say), for WriteWhole; whatever the stream
// holds buffered is handed over first. NoFile when it has none.
FileHandle FileOfStream(std::FILE* stream);
// True when the file is a pipe whose reading end has been closed: nothing written to it
// will ever be read. False when that cannot be told.
bool ReaderGone(FileHandle file);

int64_t FileSize(FileHandle file);  // -1 when it cannot be found out
bool SeekTo(FileHandle file, int64_t position);
bool SetFileEnd(FileHandle file, int64_t size);  // cuts the file (or extends it) to the size

// False when the open file is no longer the one `path` names: it was deleted, renamed or
// replaced since it was opened.
bool IsStillAt(FileHandle file, std::u16string_view path);

// Replaces the whole content of the file at `path` so that at every instant the file holds
// either its complete old bytes or the complete new ones: the bytes go to a new file in the
// same folder, are committed to the disk, and that file then takes the old one's place in
// one step. A file that does not exist yet is created. On failure the old file is left as
// it was and no new file remains. The replacement keeps the old file's permissions. A
// symbolic link at the path is replaced like a file; the file it leads to is never touched.
enum class ReplaceResult {
    Done,
    FolderLocked,  // no new file may be made in the folder; nothing was touched
    Failed,        // the new bytes could not be written whole; the old file is unchanged
};
ReplaceResult ReplaceFileContents(std::u16string_view path, std::string_view bytes);

// The current directory and the running program file.
bool SetCurrentFolder(std::u16string_view path);
std::u16string ProgramFilePath();  // empty when it cannot be found out

}  // namespace kv::native
