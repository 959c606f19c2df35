#include "runtime/text_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "runtime/posix/file_access.h"
#include "runtime/utf.h"

namespace kv {
namespace {

constexpr size_t BufferSize = 4096;
constexpr size_t InitialTableSize = 16;
constexpr size_t TableGrowth = 16;
// Numbers are meant to be small; a wild one must not grow the table to gigabytes.
constexpr int MaxFileNumber = 65535;
constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char LineEnd[] = "\r\n";

struct TextFile {
    // Data operations on one file are meant for one thread at a time; the lock only makes
    // a close from another thread wait instead of pulling the buffer from under a writer.
    std::mutex lock;
    int handle = -1;
    std::array<char, BufferSize> buffer{};
    size_t room = BufferSize;
    bool positioned = true;

    // Hands the pending data to the operating system; returns the bytes written.
    size_t writePending() {
        if (handle < 0 || positioned) return 0;
        const size_t count = BufferSize - room;
        room = BufferSize;
        if (count == 0) return 0;
        return posix::WriteAll(handle, buffer.data(), count);
    }

    size_t write(const char* data, size_t n) {
        if (handle < 0 || n == 0) return 0;
        if (positioned) {
            room = BufferSize;
            positioned = false;
        }
        // Strictly greater: the buffer never fills up completely.
        if (room > n) {
            std::memcpy(buffer.data() + (BufferSize - room), data, n);
            room -= n;
            return n;
        }
        writePending();
        if (n >= BufferSize) return posix::WriteAll(handle, data, n);
        std::memcpy(buffer.data(), data, n);
        room -= n;
        return n;
    }

    void close() {
        writePending();
        posix::CloseFile(handle);
        handle = -1;
    }
};

struct TextFileTable {
    std::mutex lock;
    std::vector<std::shared_ptr<TextFile>> files =
        std::vector<std::shared_ptr<TextFile>>(InitialTableSize);
};

TextFileTable& table() {
    // Never destroyed, so a log write racing the process exit still finds its table.
    static TextFileTable* instance = new TextFileTable;
    return *instance;
}

std::shared_ptr<TextFile> find(int number) {
    TextFileTable& t = table();
    std::lock_guard guard(t.lock);
    if (number < 0 || static_cast<size_t>(number) >= t.files.size()) return nullptr;
    return t.files[number];
}

// Removes the number from the table and gives back its file, if it was open.
std::shared_ptr<TextFile> take(int number) {
    TextFileTable& t = table();
    std::lock_guard guard(t.lock);
    if (number < 0 || static_cast<size_t>(number) >= t.files.size()) return nullptr;
    return std::move(t.files[number]);
}

size_t writeBytes(int number, const char* data, size_t n) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return 0;
    std::lock_guard guard(file->lock);
    return file->write(data, n);
}

}  // namespace

int TextFileOpen(int number, std::u16string_view path) {
    if (number < 0 || number > MaxFileNumber) return 0;
    TextFileClose(number);
    const int handle = posix::OpenRegularFile(posix::NativePath(path), /*writable=*/true,
                                              /*create=*/true, posix::FileLock::Exclusive);
    if (handle < 0) return 0;
    auto file = std::make_shared<TextFile>();
    file->handle = handle;

    TextFileTable& t = table();
    std::lock_guard guard(t.lock);
    if (static_cast<size_t>(number) >= t.files.size()) t.files.resize(number + TableGrowth);
    // Another thread may have opened the same number meanwhile; its file is closed properly.
    std::shared_ptr<TextFile> previous = std::move(t.files[number]);
    t.files[number] = std::move(file);
    if (previous != nullptr) {
        std::lock_guard fileGuard(previous->lock);
        previous->close();
    }
    return 1;
}

int TextFileIsOpen(int number) {
    return find(number) != nullptr ? 1 : 0;
}

int64_t TextFileSize(int number) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return -1;
    std::lock_guard guard(file->lock);
    file->writePending();
    struct stat info {};
    if (file->handle < 0 || ::fstat(file->handle, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

void TextFileSeek(int number, int64_t position) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return;
    std::lock_guard guard(file->lock);
    file->writePending();
    file->positioned = true;
    if (file->handle >= 0 && position >= 0)
        ::lseek(file->handle, static_cast<off_t>(position), SEEK_SET);
}

int64_t TextFileWriteMark(int number) {
    return static_cast<int64_t>(writeBytes(number, ByteOrderMark, 3));
}

int64_t TextFileWriteText(int number, std::u16string_view text) {
    if (text.empty()) return 0;
    const std::string bytes = Utf8FromUtf16(text);
    return static_cast<int64_t>(writeBytes(number, bytes.data(), bytes.size()));
}

int64_t TextFileWriteLine(int number, std::u16string_view text) {
    const int64_t written = TextFileWriteText(number, text);
    return written + static_cast<int64_t>(writeBytes(number, LineEnd, 2));
}

int64_t TextFileFlush(int number) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return 0;
    std::lock_guard guard(file->lock);
    return static_cast<int64_t>(file->writePending());
}

void TextFileClose(int number) {
    std::shared_ptr<TextFile> file = take(number);
    if (file == nullptr) return;
    std::lock_guard guard(file->lock);
    file->close();
}

void TextFileCloseAll() {
    std::vector<std::shared_ptr<TextFile>> open;
    {
        TextFileTable& t = table();
        std::lock_guard guard(t.lock);
        for (auto& file : t.files) {
            if (file != nullptr) open.push_back(std::move(file));
        }
    }
    for (auto& file : open) {
        std::lock_guard guard(file->lock);
        file->close();
    }
}

}  // namespace kv
