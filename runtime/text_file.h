// Numbered UTF-8 text files written through a 4096-byte buffer.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Numbers run from 0 to 65535. The file is created when missing, never truncated, and held
// so that others may read it but no second writer may open it.
int TextFileOpen(int number, std::u16string_view path);  // nonzero on success
int TextFileIsOpen(int number);
// Nonzero while `path` still names the open file: zero once it was deleted, renamed or
// replaced behind the program's back (a log rotated away, say).
int TextFileIsStillAt(int number, std::u16string_view path);
int64_t TextFileSize(int number);  // -1 when not open
void TextFileSeek(int number, int64_t position);
int64_t TextFileWriteMark(int number);
int64_t TextFileWriteText(int number, std::u16string_view text);
// The text and CR LF, written as one piece.
int64_t TextFileWriteLine(int number, std::u16string_view text);
// The bytes handed to the operating system; -1 when it refused data written since the last
// flush (a full disk, an I/O error). Refused data is dropped whole: no part of one write
// stays in the file.
int64_t TextFileFlush(int number);
void TextFileClose(int number);
void TextFileCloseAll();

}  // namespace kv
