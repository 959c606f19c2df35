// Log file contents with their timestamps made comparable.
#pragma once
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "monitor/sensor_texts.h"
#include "runtime/utf.h"

namespace kv::test {

// Every well-formed "[dd/mm/yyyy hh:ii:ss]" becomes "<stamp>"; anything else stays.
inline std::string Unstamped(const std::string& text) {
    constexpr std::string_view shape = "[00/00/0000 00:00:00]";
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool stamp = i + shape.size() <= text.size();
        for (size_t k = 0; stamp && k < shape.size(); ++k) {
            const unsigned char c = static_cast<unsigned char>(text[i + k]);
            stamp =
                shape[k] == '0' ? std::isdigit(c) != 0 : c == static_cast<unsigned char>(shape[k]);
        }
        if (stamp) {
            out += "<stamp>";
            i += shape.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

inline std::string FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline constexpr char Mark[] = "\xEF\xBB\xBF";

// The text of a reading's record: "28-0000045A1B2C-84  —  23.6 °C".
inline std::string Record(const RomCode& rom, const char* temperature) {
    return Utf8FromUtf16(FormatRomCode(rom)) + "  \xE2\x80\x94  " + temperature + " \xC2\xB0" + "C";
}

}  // namespace kv::test
