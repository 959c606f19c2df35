// The settings store: one current INI document per thread, keys outside any group only.
// Files are UTF-8 with a byte-order mark (or ISO-8859-1 without one); lines "key = value".
// Of a file above 2 MiB only the head is read, and such a document is never rewritten.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

int IniCreate(std::u16string_view path);  // nonzero on success
int IniOpen(std::u16string_view path);    // nonzero when the file was opened
void IniClose();
std::u16string IniReadString(std::u16string_view key, std::u16string_view defaultValue = {});
// Reads the number at the start of the value as atoi does; beyond the 32-bit range it
// saturates at INT32_MIN / INT32_MAX.
int32_t IniReadInteger(std::u16string_view key, int32_t defaultValue);
// CR and LF in the key or value are stored as blanks: one entry stays one line.
void IniWriteString(std::u16string_view key, std::u16string_view value);
void IniWriteInteger(std::u16string_view key, int32_t value);

}  // namespace kv
