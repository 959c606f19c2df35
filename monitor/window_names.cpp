#include "monitor/window_names.h"

#include <mutex>

#include "monitor/sensor_names.h"
#include "monitor/sensor_texts.h"
#include "monitor/texts.h"
#include "runtime/clock.h"
#include "runtime/utf.h"

namespace kv {
namespace {

constexpr int64_t LookAgainMs = 1000;
constexpr std::u16string_view NameGap = u"  ";

std::mutex namesLock;

}  // namespace

std::u16string WindowSensorName(const RomCode& rom) {
    static SensorNames names(PathBytesFromUtf16(texts::NamesFileName));
    static int64_t lookedAt = 0;
    static bool looked = false;
    std::lock_guard guard(namesLock);
    const int64_t now = MillisecondClock();
    if (!looked || now - lookedAt >= LookAgainMs) {
        names.refresh();  // a file that is missing or unsound leaves the names as they were
        lookedAt = now;
        looked = true;
    }
    return Utf16FromUtf8(names.nameOf(rom));
}

std::u16string NamedRomText(const RomCode& rom) {
    const std::u16string name = WindowSensorName(rom);
    return name.empty() ? FormatRomCode(rom) : name + std::u16string(NameGap) + FormatRomCode(rom);
}

}  // namespace kv
