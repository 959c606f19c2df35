#include "runtime/ini_store.h"

#include <string>

#include "runtime/file_access.h"
#include "runtime/ini_document.h"
#include "runtime/integer_text.h"
#include "runtime/thread_end.h"
#include "runtime/utf.h"

// A document opened for writing holds the file exclusively, one opened for reading holds it
// shared. So while this program holds the settings open for writing, another program (or
// thread) gets no write access and no shared read; it falls back to reading without a lock,
// exactly as the third open attempt allows.
//
// A save never destroys the file: the new text goes to a new file in the same folder that
// replaces the old one in one step (native::ReplaceFileContents), so a full disk, an I/O
// error or a power cut leaves the complete old settings. Only in a folder where no new file
// may be made is a writable file rewritten in place, as it always could be there.
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
    native::FileHandle file = native::NoFile;
    std::u16string path;   // where the text is written at close
    bool pending = false;  // no file could be opened: it is created at close if written
    bool created = false;  // IniCreate: the file is replaced even when nothing was written
    bool modified = false;
    bool readOnly = false;
    bool writeMark = false;
    ini::Document text;

    bool isOpen() const { return file != native::NoFile || pending; }

    void write() {
        if (!modified && !created) return;
        if (file != native::NoFile && readOnly) return;
        if (file == native::NoFile && !pending) return;
        // A created document that nothing was written to leaves an empty file, not a mark.
        std::string bytes = modified ? text.Serialize(writeMark) : std::string();
        // A document opened from an empty file is written without the mark; but text that is
        // not plain ASCII would then read back as ISO 8859-1, so it gets the mark after all.
        if (!writeMark && !isAscii(bytes)) bytes = text.Serialize(true);
        // Failures leave the old file whole and are silent, as write failures at close are.
        if (native::ReplaceFileContents(path, bytes) == native::ReplaceResult::FolderLocked &&
            file != native::NoFile) {
            native::SeekTo(file, 0);
            if (native::WriteWhole(file, bytes.data(), bytes.size()))
                native::SetFileEnd(file, static_cast<int64_t>(bytes.size()));
        }
    }

    void close() {
        write();
        native::CloseFile(file);
        file = native::NoFile;
        path.clear();
        pending = created = modified = readOnly = writeMark = false;
        text.Clear();
    }
};

// Each thread has its own current document. The thread-local part is a plain pointer, so
// that no thread-local destructor is involved: the document is made when the thread first
// creates or opens one, released by IniClose, and closed (and written) by the thread's end
// actions when the thread ends with it still open.
thread_local IniDocument* current = nullptr;

void release() {
    if (current == nullptr) return;
    current->close();
    delete current;
    current = nullptr;
}

// Closes the thread's current document, if any, and starts an empty one.
IniDocument& freshDocument() {
    static const bool registered = ThreadEndRegister(release);
    (void)registered;
    if (current == nullptr) {
        current = new IniDocument;
    } else {
        current->close();
    }
    return *current;
}

IniDocument* openDocument() {
    return current != nullptr && current->isOpen() ? current : nullptr;
}

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
    IniDocument& document = freshDocument();
    // Opened (and made, when missing) only to hold it and to learn that it may be written:
    // the old text stays in it until the close replaces it whole.
    const native::FileHandle file =
        native::OpenRegularFile(path, /*writable=*/true,
                                /*create=*/true, native::FileLock::Exclusive);
    if (file == native::NoFile) {
        release();
        return 0;
    }
    document.file = file;
    document.path = path;
    document.created = true;
    document.writeMark = true;
    return 1;
}

int IniOpen(std::u16string_view path) {
    IniDocument& document = freshDocument();
    native::FileHandle file =
        native::OpenRegularFile(path, true, false, native::FileLock::Exclusive);
    if (file == native::NoFile) {
        document.readOnly = true;
        file = native::OpenRegularFile(path, false, false, native::FileLock::Shared);
    }
    if (file == native::NoFile)
        file = native::OpenRegularFile(path, false, false, native::FileLock::None);
    document.path = path;
    if (file == native::NoFile) {
        // A path that can name no file at all (empty, or with a zero character) gets no
        // document: there would be nothing to create at close.
        document.pending = !path.empty() && path.find(u'\0') == std::u16string_view::npos;
        document.readOnly = false;
        document.writeMark = true;
        if (!document.pending) release();
        return 0;
    }
    document.file = file;

    std::string bytes = native::ReadUpTo(file, MaxFileBytes + 1);
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
    release();
}

std::u16string IniReadString(std::u16string_view key, std::u16string_view defaultValue) {
    const IniDocument* document = openDocument();
    if (document == nullptr) return std::u16string(defaultValue);
    const auto value = document->text.Find(Utf8FromUtf16(key));
    if (!value) return std::u16string(defaultValue);
    return Utf16FromUtf8(ini::TrimBlanks(*value));
}

int32_t IniReadInteger(std::u16string_view key, int32_t defaultValue) {
    const IniDocument* document = openDocument();
    if (document == nullptr) return defaultValue;
    const auto value = document->text.Find(Utf8FromUtf16(key));
    if (!value) return defaultValue;
    return ParseLeadingInteger(*value);
}

void IniWriteString(std::u16string_view key, std::u16string_view value) {
    IniDocument* document = openDocument();
    if (document == nullptr) return;
    document->text.Write(sanitized(key), sanitized(value));
    document->modified = true;
}

void IniWriteInteger(std::u16string_view key, int32_t value) {
    IniWriteString(key, IntegerToText(value));
}

}  // namespace kv
