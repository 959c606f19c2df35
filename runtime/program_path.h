// The program's own folder: bare file names (the settings, the log) resolve there once it is
// the current folder.
#pragma once
#include <string>
#include <string_view>

namespace kv {

int SetCurrentFolder(std::u16string_view path);  // nonzero on success
std::u16string PathFolderPart(std::u16string_view path);
std::u16string ProgramFilePath();  // full path of the running program file
// The folder that holds the running program file, with its final separator.
std::u16string ProgramFolder();

}  // namespace kv
