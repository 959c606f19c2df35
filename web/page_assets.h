// The files of the live page, built into the program: the page, its script and style, and
// the chart library. A request names one of these paths exactly or gets nothing.
#pragma once
#include <cstddef>
#include <string_view>

namespace kv::web {

struct PageAsset {
    const char* path;  // as requested: "/", "/page.js"
    const char* type;  // Content-Type
    const unsigned char* data;
    size_t size;
};

// nullptr for a path that is no asset.
const PageAsset* FindPageAsset(std::string_view path);

}  // namespace kv::web
