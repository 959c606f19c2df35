#include "runtime/file_access.h"

#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

// Windows keeps the sharing rule with share modes: a writer opens with read sharing only, so
// others may read but no second writer gets the file; a shared reader refuses writers too.
// Every open also shares deletion, so that a save can put a new file in the old one's place
// while this program (or another reader) still holds the old one open.

namespace kv::native {
namespace {

constexpr DWORD ShareWithReaders = FILE_SHARE_READ | FILE_SHARE_DELETE;
constexpr DWORD ShareWithAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr wchar_t TemporaryMarker[] = L".kvnew";
// Attempts at a fresh temporary name before the folder is taken to refuse new files.
constexpr int TemporaryNameAttempts = 100;

HANDLE handleOf(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

bool isOpen(FileHandle file) {
    return file != NoFile && file != 0;
}

// The zero-terminated wide form of a path; empty when the path cannot name a file.
std::wstring widePath(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return {};
    return std::wstring(path.begin(), path.end());
}

size_t writeAll(HANDLE handle, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, bytes + done, chunk, &written, nullptr) || written == 0) break;
        done += written;
    }
    return done;
}

bool position(HANDLE handle, int64_t& where) {
    LARGE_INTEGER zero{}, now{};
    if (!SetFilePointerEx(handle, zero, &now, FILE_CURRENT)) return false;
    where = now.QuadPart;
    return true;
}

bool moveTo(HANDLE handle, int64_t where) {
    LARGE_INTEGER to{};
    to.QuadPart = where;
    return SetFilePointerEx(handle, to, nullptr, FILE_BEGIN) != 0;
}

bool isFolderRefusal(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

bool isInUse(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

}  // namespace

FileHandle OpenRegularFile(std::u16string_view path, bool writable, bool create, FileLock lock) {
    const std::wstring wide = widePath(path);
    if (wide.empty()) return NoFile;
    const DWORD access = writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const DWORD share = lock == FileLock::None ? ShareWithAll : ShareWithReaders;
    HANDLE handle =
        CreateFileW(wide.c_str(), access, share, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return NoFile;
    // Device names (CON, NUL, COM1) open as well; only a file on a disk will do.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return NoFile;
    }
    return reinterpret_cast<FileHandle>(handle);
}

void CloseFile(FileHandle file) {
    if (isOpen(file)) CloseHandle(handleOf(file));
}

std::string ReadUpTo(FileHandle file, size_t limit) {
    std::string data(limit, '\0');
    size_t done = 0;
    while (isOpen(file) && done < limit) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(limit - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handleOf(file), data.data() + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    data.resize(done);
    return data;
}

bool WriteWhole(FileHandle file, const void* data, size_t size) {
    if (!isOpen(file)) return false;
    if (size == 0) return true;
    HANDLE handle = handleOf(file);
    // A pipe or a console has no position, and nothing it took can be taken back.
    if (GetFileType(handle) != FILE_TYPE_DISK) return writeAll(handle, data, size) == size;
    int64_t where = 0;
    const int64_t sizeBefore = FileSize(file);
    if (!position(handle, where) || sizeBefore < 0) return false;
    if (writeAll(handle, data, size) == size) return true;
    // A full disk takes part of a write before it refuses the rest; that part goes again.
    if (FileSize(file) > sizeBefore) SetFileEnd(file, sizeBefore);
    moveTo(handle, where);
    return false;
}

FileHandle FileOfStream(std::FILE* stream) {
    if (stream == nullptr) return NoFile;
    std::fflush(stream);
    const int descriptor = _fileno(stream);
    const intptr_t handle = descriptor < 0 ? -1 : _get_osfhandle(descriptor);
    return handle == -1 || handle == 0 ? NoFile : static_cast<FileHandle>(handle);
}

bool ReaderGone(FileHandle file) {
    // Windows tells a pipe without its reader only by refusing a write.
    (void)file;
    return false;
}

int64_t FileSize(FileHandle file) {
    LARGE_INTEGER size{};
    if (!isOpen(file) || !GetFileSizeEx(handleOf(file), &size)) return -1;
    return size.QuadPart;
}

bool SeekTo(FileHandle file, int64_t where) {
    if (!isOpen(file) || where < 0) return false;
    return moveTo(handleOf(file), where);
}

bool SetFileEnd(FileHandle file, int64_t size) {
    if (!isOpen(file) || size < 0) return false;
    HANDLE handle = handleOf(file);
    int64_t where = 0;
    if (!position(handle, where) || !moveTo(handle, size)) return false;
    const bool cut = SetEndOfFile(handle) != 0;
    moveTo(handle, where);  // like ftruncate: the position stays
    return cut;
}

bool IsStillAt(FileHandle file, std::u16string_view path) {
    const std::wstring wide = widePath(path);
    if (!isOpen(file) || wide.empty()) return false;
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(handleOf(file), FileStandardInfo, &standard,
                                      sizeof standard) ||
        standard.DeletePending) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION open{}, named{};
    if (!GetFileInformationByHandle(handleOf(file), &open)) return false;
    HANDLE other = CreateFileW(wide.c_str(), 0, ShareWithAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    const bool read = GetFileInformationByHandle(other, &named) != 0;
    CloseHandle(other);
    return read && open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
           open.nFileIndexHigh == named.nFileIndexHigh && open.nFileIndexLow == named.nFileIndexLow;
}

ReplaceResult ReplaceFileContents(std::u16string_view path, std::string_view bytes) {
    const std::wstring target = widePath(path);
    if (target.empty()) return ReplaceResult::Failed;
    // A fresh name beside the target, so the final move stays on one volume.
    static std::atomic<unsigned> counter{0};
    std::wstring temporary;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        temporary = target + TemporaryMarker + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(counter.fetch_add(1));
        handle = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) break;
        const DWORD error = GetLastError();
        if (isFolderRefusal(error)) return ReplaceResult::FolderLocked;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return ReplaceResult::Failed;
    }
    if (handle == INVALID_HANDLE_VALUE) return ReplaceResult::Failed;
    bool written = writeAll(handle, bytes.data(), bytes.size()) == bytes.size();
    written = FlushFileBuffers(handle) != 0 && written;
    written = CloseHandle(handle) != 0 && written;
    // The old file's attributes (hidden, say) go over to the new one.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (written && attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(temporary.c_str(), attributes);
    if (!written) {
        DeleteFileW(temporary.c_str());
        return ReplaceResult::Failed;
    }
    if (MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return ReplaceResult::Done;
    }
    const DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    // Windows replaces a file that open handles share for deletion; Wine refuses to replace
    // any file that is open, our own settings handle included. The old file is untouched
    // then, as when the folder refuses new files, and the caller rewrites it in place.
    return isInUse(error) ? ReplaceResult::FolderLocked : ReplaceResult::Failed;
}

}  // namespace kv::native
