// Instants (seconds since 1970-01-01 00:00:00 UTC) and the local wall clock, both ways, with
// summer time: an hour the change to summer time skips has no instant, the hour the change
// back repeats has two.
#pragma once
#include <cstdint>
#include <functional>

namespace kv {

// The quotient rounded down, also for times before 1970.
inline int64_t FloorDiv(int64_t value, int64_t by) {
    const int64_t q = value / by;
    return (value % by != 0 && (value < 0) != (by < 0)) ? q - 1 : q;
}

// How far the local clock is ahead of UTC at an instant; false when it cannot be told.
using UtcOffsetRule = std::function<bool(int64_t instant, int32_t& offsetSeconds)>;

class LocalZone {
  public:
    // The system's zone.
    LocalZone();
    explicit LocalZone(UtcOffsetRule rule);

    // The local wall clock at the instant, counted in plain calendar seconds from
    // 1970-01-01 00:00:00 (like DateValue, without its range).
    int64_t LocalSeconds(int64_t instant) const;
    // The instants at which the local clock reads `localSeconds`, earliest first; returns how
    // many there are (0, 1 or 2).
    int Instants(int64_t localSeconds, int64_t& first, int64_t& second) const;

  private:
    int32_t OffsetAt(int64_t instant) const;

    UtcOffsetRule rule_;
    // The last half hour of the local clock asked for and its offsets: zones change their
    // offset on a full or half hour, so the answer holds for the whole half hour.
    mutable int64_t cachedHalfHour_ = INT64_MIN;
    mutable int cachedCount_ = 0;
    mutable int32_t cachedOffsets_[2] = {0, 0};
};

}  // namespace kv
