// The ordered list of devices found on the bus, walked with a single cursor. Only the thread
// of the session that owns it touches it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "session/sensor_record.h"

namespace kv {

class SensorList {
  public:
    int32_t count() const { return static_cast<int32_t>(records_.size()); }
    bool empty() const { return records_.empty(); }

    // Before the first record.
    void resetCursor() { cursor_ = BeforeFirst; }
    // To the following record; false (and past the last) when there is none.
    bool next();
    // To the first record; false when the list is empty.
    bool first();
    // A zero-filled record behind the current one, which becomes the current one.
    // Returns nullptr (list unchanged) when the memory is not there.
    SensorRecord* append();
    void clear();

    // The record under the cursor, or nullptr before the first or past the last.
    SensorRecord* current();
    // Index of the record under the cursor, or -1 when the cursor is on none.
    int32_t cursorIndex() const;

    SensorRecord& at(int32_t index) { return records_[static_cast<size_t>(index)]; }
    const SensorRecord& at(int32_t index) const { return records_[static_cast<size_t>(index)]; }
    const std::vector<SensorRecord>& records() const { return records_; }

  private:
    static constexpr ptrdiff_t BeforeFirst = -1;
    std::vector<SensorRecord> records_;
    // BeforeFirst, an index, or records_.size() (past the last).
    ptrdiff_t cursor_ = BeforeFirst;
};

}  // namespace kv
