#include "runtime/ini_store.h"

#include <unistd.h>

#include <string>

#include "runtime/ini_document.h"
#include "runtime/number_text.h"
#include "runtime/posix/file_access.h"
#include "runtime/utf.h"

// Sharing without share modes: a document opened for writing holds an exclusive flock, one
// opened for reading a shared flock. So while this program holds the settings open for
// writing, another program (or thread) gets no write access and no shared read; it falls
// back to reading without a lock, exactly as the third open attempt allows. Our own rewrite
// at close can therefore not interleave with another writer that plays by the same rules.
//
// Bounded memory: a settings file is a few hundred bytes. Files up to MaxFileBytes are read
// whole; of a larger file only the first MaxFileBytes are read, up to the last complete
// line, and the document becomes read-only so that the unread rest is never overwritten.

namespace kv {
namespace {

constexpr size_t MaxFileBytes = 2 * 1024 * 1024;

bool isAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

struct IniDocument {
    int file = -1;
    std::string pendingPath;  // the native form of the path, for the create at close
    bool modified = false;
    bool readOnly = false;
    bool writeMark = false;
    ini::Document text;

    bool isOpen() const { return file >= 0 || !pendingPath.empty(); }

    void write() {
        if (!modified) return;
        if (file >= 0 && readOnly) return;
        if (file < 0) {
            if (pendingPath.empty()) return;
            file = posix::OpenRegularFile(pendingPath, /*writable=*/true, /*create=*/true,
                                          posix::FileLock::Exclusive);
            if (file < 0) return;
        }
        std::string bytes = text.Serialize(writeMark);
        // A document opened from an empty file is written without the mark; but text that is
        // not plain ASCII would then read back as ISO 8859-1, so it gets the mark after all.
        if (!writeMark && !isAscii(bytes)) bytes = text.Serialize(true);
        posix::WriteAllAt(file, bytes.data(), bytes.size(), 0);
        if (::ftruncate(file, static_cast<off_t>(bytes.size())) != 0) {
            // Nothing to report to: write failures at close are silent by design.
        }
    }

    void close() {
        write();
        posix::CloseFile(file);
        file = -1;
        pendingPath.clear();
        modified = readOnly = writeMark = false;
        text.Clear();
    }

    ~IniDocument() { close(); }
};

// Each thread has its own current document, closed (and written) when the thread ends.
thread_local IniDocument document;

// Cuts an over-long read back to its last complete line so no value is read half.
void dropPartialLine(std::string& bytes) {
    const size_t lastEnd = bytes.find_last_of("\r\n");
    bytes.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
}

std::string sanitized(std::u16string_view text) {
    // A line break inside a key or value would turn into lines of its own in the file and
    // set other keys on the next load; it is stored as a blank instead.
    std::string bytes = Utf8FromUtf16(text);
    for (char& c : bytes) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return bytes;
}

}  // namespace

int IniCreate(std::u16string_view path) {
    document.close();
    const int file = posix::OpenRegularFile(posix::NativePath(path), /*writable=*/true,
                                            /*create=*/true, posix::FileLock::Exclusive);
    if (file < 0) return 0;
    // Truncated only once the lock is held: a file another writer holds is left alone.
    if (::ftruncate(file, 0) != 0) {
        posix::CloseFile(file);
        return 0;
    }
    document.file = file;
    document.writeMark = true;
    return 1;
}

int IniOpen(std::u16string_view path) {
    document.close();
    const std::string native = posix::NativePath(path);
    int file = posix::OpenRegularFile(native, true, false, posix::FileLock::Exclusive);
    if (file < 0) {
        document.readOnly = true;
        file = posix::OpenRegularFile(native, false, false, posix::FileLock::Shared);
    }
    if (file < 0) file = posix::OpenRegularFile(native, false, false, posix::FileLock::None);
    if (file < 0) {
        document.pendingPath = native;
        document.writeMark = true;
        return 0;
    }
    document.file = file;

    std::string bytes = posix::ReadUpTo(file, MaxFileBytes + 1);
    if (bytes.size() > MaxFileBytes) {
        bytes.resize(MaxFileBytes);
        dropPartialLine(bytes);
        document.readOnly = true;
    }
    ini::DecodedText decoded = ini::DecodeFileBytes(bytes);
    bytes = std::string();
    document.writeMark = decoded.writeMark;
    document.text.Parse(std::move(decoded.text));
    return 1;
}

void IniClose() {
    document.close();
}

std::u16string IniReadString(std::u16string_view key, std::u16string_view defaultValue) {
    if (!document.isOpen()) return std::u16string(defaultValue);
    const auto value = document.text.Find(Utf8FromUtf16(key));
    if (!value) return std::u16string(defaultValue);
    return Utf16FromUtf8(ini::TrimBlanks(*value));
}

int32_t IniReadInteger(std::u16string_view key, int32_t defaultValue) {
    if (!document.isOpen()) return defaultValue;
    const auto value = document.text.Find(Utf8FromUtf16(key));
    if (!value) return defaultValue;
    return ini::ParseInteger(*value);
}

void IniWriteString(std::u16string_view key, std::u16string_view value) {
    if (!document.isOpen()) return;
    document.text.Write(sanitized(key), sanitized(value));
    document.modified = true;
}

void IniWriteInteger(std::u16string_view key, int32_t value) {
    IniWriteString(key, IntegerToText(value));
}

}  // namespace kv
