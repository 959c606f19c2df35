#include "runtime/integer_text.h"
#include "web/web_server.h"

namespace kv::web {
namespace {

constexpr std::string_view LoopbackV4Head = "127.";
constexpr std::string_view LoopbackV6 = "::1";
constexpr int64_t MaxPort = 65535;

}  // namespace

bool ParseListenAddress(std::string_view text, ServerSettings& settings) {
    // An IP literal, never a name to look up: digits and dots, or within brackets IPv6's.
    constexpr std::string_view V4Characters = "0123456789.";
    constexpr std::string_view V6Characters = "0123456789abcdefABCDEF:.";
    std::string_view address = DefaultListenAddress, port = text, allowed = V4Characters;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        address = text.substr(1, close - 1);
        port = text.substr(close + 2);
        allowed = V6Characters;
    } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        if (text.find(':') != colon) return false;  // an IPv6 address needs brackets
        address = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    const auto number = ParseWholeInteger(port, 1, MaxPort);
    if (address.empty() || address.find_first_not_of(allowed) != std::string_view::npos || !number)
        return false;
    settings.address = address;
    settings.port = static_cast<int>(*number);
    return true;
}

bool IsLoopbackAddress(std::string_view address) {
    return address.substr(0, LoopbackV4Head.size()) == LoopbackV4Head || address == LoopbackV6;
}

}  // namespace kv::web
