#include "monitor/limit_check.h"

#include <cstdint>

namespace kv {

bool InsideLimits(float celsius, int thermoMin, int thermoMax) {
    const auto whole = static_cast<int32_t>(celsius);  // toward zero: -10.9375 is -10
    return whole >= thermoMin && whole <= thermoMax;
}

LimitBand LimitsBand(int thermoMin, int thermoMax) {
    // Whole degrees cut toward zero: [Min, Max + 1) above zero, (Min − 1, Max] below it.
    return LimitBand{thermoMin > 0 ? double(thermoMin) : double(thermoMin) - 1,
                     thermoMax >= 0 ? double(thermoMax) + 1 : double(thermoMax)};
}

LimitTenths PassingTenths(int thermoMin, int thermoMax) {
    constexpr int Tenths = 10, LastTenth = 9;
    return LimitTenths{thermoMin > 0 ? thermoMin * Tenths : thermoMin * Tenths - LastTenth,
                       thermoMax >= 0 ? thermoMax * Tenths + LastTenth : thermoMax * Tenths};
}

}  // namespace kv
