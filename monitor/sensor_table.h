// The rows of the sensor table: built from the device list after it changed (type, ROM code
// and its CRC warning, power mode, the initial texts), and the cells a reading or a failure
// changes. No bus work: the list already knows everything shown.
#pragma once
#include <cstdint>
#include <string_view>

#include "onewire/reading_verdict.h"
#include "session/sensor_list.h"

namespace kv {

// Rebuilds every row of SensorTable from the list, one per record.
void FillSensorList(const SensorList& list);
// The status cell: "OK" on the default colour, anything else on the fault colour.
void ShowRowStatus(int32_t row, std::u16string_view text);
// What a judged reading shows in the row of its record, with the limits of the control block
// looked at afresh; true for a sound reading outside them.
bool ShowReading(int32_t row, const SensorRecord& record, const Reading& reading);
// Every row without a temperature, its status cell saying why on the fault colour.
void MarkRowsFailed(std::u16string_view why);

// The marker of separate polling: column 0 of the row read last on the polled colour.
class PolledMarker {
  public:
    // After a reading of the row. The mode is looked at afresh each time: separate polling
    // may have been switched off during the conversion wait, and the window has then already
    // taken the marker away. Should the switch fall between the check and the colouring, the
    // marker that landed after the window's reset is taken away at the next reading.
    void moveTo(int32_t row, bool separatePolling);
    // The rows were built afresh, without colour.
    void forget() { shown_ = false; }

  private:
    int32_t row_ = 0;     // the row that may carry the marker
    bool shown_ = false;  // column 0 of row_ may carry the polled colour
};

}  // namespace kv
