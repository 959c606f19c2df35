#include "runtime/host_name.h"

#include <unistd.h>

#include "runtime/utf.h"

namespace kv {

std::u16string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return Utf16FromUtf8(name);
}

}  // namespace kv
