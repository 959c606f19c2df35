#include "monitor/sensor_texts.h"

#include "monitor/texts.h"
#include "onewire/ds18x20.h"
#include "runtime/number_text.h"

namespace kv {

std::u16string TemperatureText(float celsius) {
    return FloatToText(celsius, 1) + std::u16string(texts::DegreesSuffix);
}

std::u16string_view PluralForm(int64_t n, std::u16string_view one, std::u16string_view few,
                               std::u16string_view many) {
    const int64_t m = n % 100;
    const int64_t r = m % 10;
    if (m > 10 && m < 20) return many;
    if (r > 1 && r < 5) return few;
    if (r == 1) return one;
    return many;
}

std::u16string_view DeviceTypeName(uint8_t family) {
    switch (family) {
        case FamilyDs18s20:
            return texts::TypeDs18s20;
        case FamilyDs18b20:
            return texts::TypeDs18b20;
        default:
            return texts::TypeUnknown;
    }
}

}  // namespace kv
