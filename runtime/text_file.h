// Numbered UTF-8 text files written through a 4096-byte buffer, and the program's own folder.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

// Numbers run from 0 to 65535. The file is created when missing, never truncated, and held
// with an exclusive flock: others may read it, no second writer may open it.
int TextFileOpen(int number, std::u16string_view path);  // nonzero on success
int TextFileIsOpen(int number);
int64_t TextFileSize(int number);  // -1 when not open
void TextFileSeek(int number, int64_t position);
int64_t TextFileWriteMark(int number);
int64_t TextFileWriteText(int number, std::u16string_view text);
int64_t TextFileWriteLine(int number, std::u16string_view text);
int64_t TextFileFlush(int number);
void TextFileClose(int number);
void TextFileCloseAll();

int SetCurrentFolder(std::u16string_view path);  // nonzero on success
std::u16string PathFolderPart(std::u16string_view path);
std::u16string ProgramFilePath();  // full path of the running program file

}  // namespace kv
