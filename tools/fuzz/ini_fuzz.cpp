// libFuzzer target for the settings file parser. Any bytes must load without a crash or an
// out-of-bounds read, and what the store writes back must load to the same entries again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/ini_document.h"
#include "runtime/integer_text.h"
#include "runtime/utf.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool SameEntries(const kv::ini::Document& a, const kv::ini::Document& b) {
    if (a.EntryCount() != b.EntryCount()) return false;
    for (size_t i = 0; i < a.EntryCount(); ++i) {
        if (a.KindAt(i) != b.KindAt(i) || a.ValueAt(i) != b.ValueAt(i)) return false;
        if (a.KindAt(i) == kv::ini::EntryKind::Key && a.KeyAt(i) != b.KeyAt(i)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kv::ini::DecodedText decoded = kv::ini::DecodeFileBytes(bytes);
    const bool mark = decoded.writeMark;
    kv::ini::Document document;
    document.Parse(std::move(decoded.text));

    // Every key the file holds, read the way the settings are read.
    for (size_t i = 0; i < document.EntryCount(); ++i) {
        if (document.KindAt(i) != kv::ini::EntryKind::Key) continue;
        const std::string key(document.KeyAt(i));
        const auto value = document.Find(key);
        if (value) {
            (void)kv::ParseLeadingInteger(*value);
            (void)kv::Utf16FromUtf8(kv::ini::TrimBlanks(*value));
        }
    }

    // Saving and loading again is stable.
    const std::string saved = document.Serialize(mark);
    kv::ini::DecodedText again = kv::ini::DecodeFileBytes(saved);
    kv::ini::Document reloaded;
    reloaded.Parse(std::move(again.text));
    Require(SameEntries(document, reloaded));
    Require(reloaded.Serialize(mark) == saved);

    // The settings' own writes land where a read finds them, whatever the file held before.
    std::string_view interval = bytes.substr(0, 16);
    if (interval.find_first_of("\r\n") != std::string_view::npos) interval = "5";
    document.Write("Interval", interval);
    document.Write("Port", "COM3");
    const auto port = document.Find("port");
    Require(port.has_value() && *port == "COM3");
    const auto stored = document.Find("INTERVAL");
    Require(stored.has_value() && *stored == interval);
    return 0;
}
