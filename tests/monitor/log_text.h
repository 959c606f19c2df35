// Log file contents with their timestamps made comparable.
#pragma once
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

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

}  // namespace kv::test
