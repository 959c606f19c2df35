// The settings store: one current INI document per thread, keys outside any group only.
// Files are UTF-8 with a byte-order mark (or ISO-8859-1 without one); lines "key = value".
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace kv {

int IniCreate(std::u16string_view path);  // nonzero on success
int IniOpen(std::u16string_view path);    // nonzero when the file was opened
void IniClose();
std::u16string IniReadString(std::u16string_view key, std::u16string_view defaultValue = {});
int32_t IniReadInteger(std::u16string_view key, int32_t defaultValue);
void IniWriteString(std::u16string_view key, std::u16string_view value);
void IniWriteInteger(std::u16string_view key, int32_t value);

}  // namespace kv
