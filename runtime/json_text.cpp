#include "runtime/json_text.h"

#include <cstdio>

namespace kv {
namespace {

// A DS18B20 steps in sixteenths of a degree, so four decimals hold every reading exactly.
constexpr int Decimals = 4;

}  // namespace

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string DecimalText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", Decimals, value);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

}  // namespace kv
