#include "probe/sensor_names.h"

#include <algorithm>
#include <optional>

#include "onewire/ds18x20.h"
#include "onewire/reading_verdict.h"
#include "probe/messages.h"
#include "probe/small_file.h"
#include "runtime/utf.h"

namespace kv::probe {
namespace {

constexpr std::string_view Blanks = " \t\r";
constexpr char CommentMark = '#';
constexpr char Separator = '=';
constexpr char Utf8ByteOrderMark[] = "\xEF\xBB\xBF";

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

std::optional<int> HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return std::nullopt;
}

// Hex digits into bytes, in the order they stand.
bool HexBytes(std::string_view digits, uint8_t* out, size_t count) {
    if (digits.size() != 2 * count) return false;
    for (size_t i = 0; i < count; ++i) {
        const auto high = HexDigit(digits[2 * i]), low = HexDigit(digits[2 * i + 1]);
        if (!high || !low) return false;
        out[i] = static_cast<uint8_t>(*high * 16 + *low);
    }
    return true;
}

// 16 digits in bus order, or family-serial-CRC with the 48-bit serial written most
// significant byte first.
std::optional<RomCode> ParseRom(std::string_view text) {
    RomCode rom{};
    if (HexBytes(text, rom.data(), RomBytes)) return rom;
    constexpr size_t FamilyDigits = 2, SerialBytes = 6, SerialDigits = 2 * SerialBytes;
    if (text.size() != FamilyDigits + 1 + SerialDigits + 1 + 2 || text[FamilyDigits] != '-' ||
        text[FamilyDigits + 1 + SerialDigits] != '-')
        return std::nullopt;
    uint8_t serial[SerialBytes];
    if (!HexBytes(text.substr(0, FamilyDigits), &rom[0], 1) ||
        !HexBytes(text.substr(FamilyDigits + 1, SerialDigits), serial, SerialBytes) ||
        !HexBytes(text.substr(FamilyDigits + 1 + SerialDigits + 1), &rom[7], 1))
        return std::nullopt;
    for (size_t i = 0; i < SerialBytes; ++i) rom[SerialBytes - i] = serial[i];
    return rom;
}

// Printable UTF-8: what survives a round trip through UTF-16 unchanged holds no invalid
// sequence, and no control character may break a record, a label or a line.
bool PrintableUtf8(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    return Utf8FromUtf16(Utf16FromUtf8(text)) == text;
}

}  // namespace

bool ParseSensorNames(std::string_view text, NameMap& names, std::string& error) {
    if (text.substr(0, sizeof Utf8ByteOrderMark - 1) == Utf8ByteOrderMark)
        text.remove_prefix(sizeof Utf8ByteOrderMark - 1);
    NameMap parsed;
    int number = 0;
    for (size_t start = 0; start < text.size();) {
        ++number;
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == CommentMark) continue;
        auto fail = [&](const std::string& reason) {
            error = "line " + std::to_string(number) + ": " + reason;
            return false;
        };
        const size_t separator = line.find(Separator);
        if (separator == std::string_view::npos) return fail("expected ROM = name");
        const auto rom = ParseRom(Trimmed(line.substr(0, separator)));
        if (!rom) return fail("not a ROM code (16 hex digits, or 28-0417A3C41EFF-50)");
        if (!RomCrcOk(rom->data())) return fail("the ROM code's CRC does not match");
        const std::string_view name = Trimmed(line.substr(separator + 1));
        if (name.empty()) return fail("no name after '='");
        if (!PrintableUtf8(name)) return fail("the name is not printable UTF-8 text");
        if (!parsed.emplace(*rom, std::string(name)).second)
            return fail(RomCodeHex(*rom) + " is named twice");
    }
    names.swap(parsed);
    return true;
}

bool SensorNames::adopt(std::string text, std::string& error) {
    NameMap names;
    if (!ParseSensorNames(text, names, error)) {
        error = path_ + ", " + error;
        return false;
    }
    text_ = std::move(text);
    names_.swap(names);
    return true;
}

bool SensorNames::load(std::string& error) {
    std::string text;
    return ReadSmallFile(path_, MaxNamesFileBytes, text, error) && adopt(std::move(text), error);
}

bool SensorNames::refresh() {
    if (!active()) return false;
    std::string text, error;
    const bool read = ReadSmallFile(path_, MaxNamesFileBytes, text, error);
    if (read && text == text_) {
        lastError_.clear();
        return false;
    }
    const NameMap before = names_;
    if (!read || !adopt(std::move(text), error)) {
        // Said once for each new trouble, not at every pass.
        if (error != lastError_) Message(error + "; the names stay as they were");
        lastError_ = error;
        return false;
    }
    lastError_.clear();
    return names_ != before;
}

std::string SensorNames::nameOf(const RomCode& rom) const {
    const auto found = names_.find(rom);
    return found == names_.end() ? std::string() : found->second;
}

}  // namespace kv::probe
