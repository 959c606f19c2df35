// JSON string literals for the records and the discovery configs.
#pragma once
#include <string>

namespace kv::probe {

// text as a JSON string, quotes included.
std::string JsonString(const std::string& text);

}  // namespace kv::probe
