// The limit check of "Термо контроль": the table marks a reading outside it, the chart draws
// what passes as a band.
#pragma once

namespace kv {

// The check compares a reading's whole degrees (cut toward zero) with Min and Max: with Max
// 22, 22.9 °C passes and 23.0 °C does not; with Min −10, −10.9 °C passes and −11.0 °C does not.
bool InsideLimits(float celsius, int thermoMin, int thermoMax);

// What passes, as a band of degrees: [low, high) above zero, (low, high] below it.
struct LimitBand {
    double low = 0, high = 0;
};
LimitBand LimitsBand(int thermoMin, int thermoMax);

// The lowest and the highest temperature in tenths of a degree that pass, as a label writes
// what the band holds: Min 20 and Max 22 give 200 and 229 (20.0…22.9 °C), Min −10 gives −109.
struct LimitTenths {
    int lowest = 0, highest = 0;
};
LimitTenths PassingTenths(int thermoMin, int thermoMax);

}  // namespace kv
