// Natural order of port names: runs of digits compare by value, so ttyS2 < ttyS10.
#pragma once
#include <string_view>

namespace kv {

bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace kv
