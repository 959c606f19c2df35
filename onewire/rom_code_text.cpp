#include "onewire/rom_code_text.h"

#include "runtime/utf.h"

namespace kv {
namespace {

constexpr char Separator = '-';
constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr size_t FamilyIndex = 0, CrcIndex = RomBytes - 1;
constexpr size_t SerialBytes = RomBytes - 2;
// "28-0417A3C41EFF-50": two digits, a separator, twelve, a separator, two.
constexpr size_t SerialStart = 3, CrcStart = SerialStart + 2 * SerialBytes + 1;
constexpr size_t TextLength = CrcStart + 2;

void AppendByte(std::string& text, uint8_t value) {
    text += HexDigits[value >> 4];
    text += HexDigits[value & 0x0F];
}

std::optional<uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return std::nullopt;
}

std::optional<uint8_t> HexByte(std::string_view text, size_t at) {
    const auto high = HexDigit(text[at]), low = HexDigit(text[at + 1]);
    if (!high || !low) return std::nullopt;
    return static_cast<uint8_t>(*high << 4 | *low);
}

}  // namespace

std::string RomCodeText(const RomCode& rom) {
    std::string text;
    text.reserve(TextLength);
    AppendByte(text, rom[FamilyIndex]);
    text += Separator;
    for (size_t i = SerialBytes; i >= 1; --i) AppendByte(text, rom[i]);
    text += Separator;
    AppendByte(text, rom[CrcIndex]);
    return text;
}

std::u16string FormatRomCode(const RomCode& rom) {
    return Utf16FromUtf8(RomCodeText(rom));
}

std::optional<RomCode> ParseRomCodeText(std::string_view text) {
    RomCode rom{};
    if (text.size() == 2 * RomBytes) {
        for (size_t i = 0; i < RomBytes; ++i) {
            const auto byte = HexByte(text, 2 * i);
            if (!byte) return std::nullopt;
            rom[i] = *byte;
        }
        return rom;
    }
    if (text.size() != TextLength || text[SerialStart - 1] != Separator ||
        text[CrcStart - 1] != Separator)
        return std::nullopt;
    // The serial number stands most significant byte first: bus byte 6 down to 1.
    for (size_t i = 0; i < RomBytes; ++i) {
        const size_t at = i == FamilyIndex ? 0
                          : i == CrcIndex  ? CrcStart
                                           : SerialStart + 2 * (SerialBytes - i);
        const auto byte = HexByte(text, at);
        if (!byte) return std::nullopt;
        rom[i] = *byte;
    }
    return rom;
}

}  // namespace kv
