// JSON strings and numbers for the records, the discovery configs and the live page.
#pragma once
#include <string>

namespace kv {

// text as a JSON string, quotes included.
std::string JsonString(const std::string& text);
// Degrees as a plain decimal number with no more digits than it has: 21.5, -0.25, 85.
std::string DecimalText(double value);

}  // namespace kv
