#include "runtime/local_zone.h"

#include <utility>

#include "runtime/local_time.h"

namespace kv {
namespace {

constexpr int64_t HalfHour = 1800;
// Offsets are looked at this far on either side of a local time; no zone changes its offset
// twice within it.
constexpr int64_t Around = 86400;

}  // namespace

LocalZone::LocalZone() : rule_(native::UtcOffsetAt) {}

LocalZone::LocalZone(UtcOffsetRule rule) : rule_(std::move(rule)) {}

int32_t LocalZone::OffsetAt(int64_t instant) const {
    int32_t offset = 0;
    return rule_ && rule_(instant, offset) ? offset : 0;
}

int64_t LocalZone::LocalSeconds(int64_t instant) const {
    return instant + OffsetAt(instant);
}

int LocalZone::Instants(int64_t localSeconds, int64_t& first, int64_t& second) const {
    const int64_t halfHour = FloorDiv(localSeconds, HalfHour);
    if (halfHour != cachedHalfHour_) {
        // The offsets in force a day before and a day after are the only candidates; each
        // holds where the instant it gives reads the local time asked for.
        const int64_t start = halfHour * HalfHour;
        int32_t candidates[2] = {OffsetAt(start - Around), OffsetAt(start + Around)};
        if (candidates[0] < candidates[1]) std::swap(candidates[0], candidates[1]);
        cachedCount_ = 0;
        for (int i = 0; i < 2; ++i) {
            if (i == 1 && candidates[1] == candidates[0]) break;
            if (OffsetAt(start - candidates[i]) == candidates[i])
                cachedOffsets_[cachedCount_++] = candidates[i];
        }
        cachedHalfHour_ = halfHour;
    }
    // A larger offset gives the earlier instant.
    if (cachedCount_ > 0) first = second = localSeconds - cachedOffsets_[0];
    if (cachedCount_ > 1) second = localSeconds - cachedOffsets_[1];
    return cachedCount_;
}

}  // namespace kv
