#include "session/sensor_list.h"

#include <new>

namespace kv {

bool SensorList::next() {
    const auto size = static_cast<ptrdiff_t>(records_.size());
    if (cursor_ + 1 < size) {
        ++cursor_;
        return true;
    }
    cursor_ = size;
    return false;
}

bool SensorList::first() {
    if (records_.empty()) return false;
    cursor_ = 0;
    return true;
}

SensorRecord* SensorList::append() {
    // Behind the current record; before the first means at the front, past the last at the end.
    const auto size = static_cast<ptrdiff_t>(records_.size());
    ptrdiff_t position = cursor_ + 1;
    if (position > size) position = size;
    try {
        records_.insert(records_.begin() + position, SensorRecord{});
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    cursor_ = position;
    return &records_[static_cast<size_t>(position)];
}

void SensorList::clear() {
    records_.clear();
    cursor_ = BeforeFirst;
}

SensorRecord* SensorList::current() {
    if (cursor_ < 0 || cursor_ >= static_cast<ptrdiff_t>(records_.size())) return nullptr;
    return &records_[static_cast<size_t>(cursor_)];
}

int32_t SensorList::cursorIndex() const {
    if (cursor_ < 0 || cursor_ >= static_cast<ptrdiff_t>(records_.size())) return -1;
    return static_cast<int32_t>(cursor_);
}

}  // namespace kv
