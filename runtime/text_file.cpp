#include "runtime/text_file.h"

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "runtime/file_access.h"
#include "runtime/handle_table.h"
#include "runtime/utf.h"

// Every hand-over to the operating system is whole or nothing (native::WriteWhole): a log
// written a line at a time and flushed after each one never holds a fragment of a line, even
// when the disk fills up in the middle of a write. What the system refused is dropped and
// remembered until the next flush reports it.

namespace kv {
namespace {

constexpr size_t BufferSize = 4096;
// Numbers are meant to be small; a wild one must not be accepted.
constexpr int MaxFileNumber = 65535;
constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::string_view LineEnd = "\r\n";

struct TextFile {
    // Data operations on one file are meant for one thread at a time; the lock only makes
    // a close from another thread wait instead of pulling the buffer from under a writer.
    std::mutex lock;
    native::FileHandle handle = native::NoFile;
    std::array<char, BufferSize> buffer{};
    size_t room = BufferSize;
    bool positioned = true;
    bool refused = false;  // the system refused data since the last flush

    size_t handOver(const char* data, size_t n) {
        if (native::WriteWhole(handle, data, n)) return n;
        refused = true;
        return 0;
    }

    // Hands the pending data to the operating system; returns the bytes written.
    size_t writePending() {
        if (handle == native::NoFile || positioned) return 0;
        const size_t count = BufferSize - room;
        room = BufferSize;
        if (count == 0) return 0;
        return handOver(buffer.data(), count);
    }

    size_t write(const char* data, size_t n) {
        if (handle == native::NoFile || n == 0) return 0;
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
        if (n >= BufferSize) return handOver(data, n);
        std::memcpy(buffer.data(), data, n);
        room -= n;
        return n;
    }

    void close() {
        writePending();
        native::CloseFile(handle);
        handle = native::NoFile;
    }
};

HandleTable<TextFile>& table() {
    // Never destroyed, so a log write racing the process exit still finds its table. The
    // table assigns no numbers itself: the caller chooses them.
    static auto* instance = new HandleTable<TextFile>(0, 0, false);
    return *instance;
}

std::shared_ptr<TextFile> find(int number) {
    return table().Find(number);
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
    const native::FileHandle handle = native::OpenRegularFile(
        path, /*writable=*/true, /*create=*/true, native::FileLock::Exclusive);
    if (handle == native::NoFile) return 0;
    auto file = std::make_shared<TextFile>();
    file->handle = handle;
    // Another thread may have opened the same number meanwhile; its file is closed properly.
    std::shared_ptr<TextFile> previous = table().Replace(number, std::move(file));
    if (previous != nullptr) {
        std::lock_guard fileGuard(previous->lock);
        previous->close();
    }
    return 1;
}

int TextFileIsOpen(int number) {
    return find(number) != nullptr ? 1 : 0;
}

int TextFileIsStillAt(int number, std::u16string_view path) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return 0;
    std::lock_guard guard(file->lock);
    return native::IsStillAt(file->handle, path) ? 1 : 0;
}

int64_t TextFileSize(int number) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return -1;
    std::lock_guard guard(file->lock);
    file->writePending();
    return native::FileSize(file->handle);
}

void TextFileSeek(int number, int64_t position) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return;
    std::lock_guard guard(file->lock);
    file->writePending();
    file->positioned = true;
    native::SeekTo(file->handle, position);
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
    // One write for the text and its line end, so that the line is handed over as one piece.
    std::string bytes = Utf8FromUtf16(text);
    bytes += LineEnd;
    return static_cast<int64_t>(writeBytes(number, bytes.data(), bytes.size()));
}

int64_t TextFileFlush(int number) {
    std::shared_ptr<TextFile> file = find(number);
    if (file == nullptr) return 0;
    std::lock_guard guard(file->lock);
    const size_t written = file->writePending();
    if (file->refused) {
        file->refused = false;
        return -1;
    }
    return static_cast<int64_t>(written);
}

void TextFileClose(int number) {
    std::shared_ptr<TextFile> file = table().Take(number);
    if (file == nullptr) return;
    std::lock_guard guard(file->lock);
    file->close();
}

void TextFileCloseAll() {
    for (auto& file : table().TakeAll()) {
        std::lock_guard guard(file->lock);
        file->close();
    }
}

}  // namespace kv
