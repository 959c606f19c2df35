// How readings are written on standard output: the probe's own lines, or records for
// spreadsheets and scripts (TSV, CSV with a header line, JSON lines).
#pragma once
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "probe/options.h"
#include "probe/pass_readings.h"
#include "probe/record_queue.h"
#include "runtime/json_text.h"
#include "session/sensor_list.h"

namespace kv::probe {

// 2026-12-07T14:03:09Z
std::string IsoUtcText(std::chrono::system_clock::time_point time);

// One record of a reading in the given format, without the line end; Lines has none. With
// `names` the record ends with the sensor's name (empty, or null in JSON, for none).
std::string RecordText(Format format, const Reading& reading, bool names);
// The CSV header line (without its end); empty for the other formats.
std::string HeaderText(Format format, bool names);

class RecordWriter {
  public:
    // `changesOnly` (--quiet): a device's line or record is written only when its state differs
    // from the one in the pass before, or the device is new to the list.
    RecordWriter(Format format, std::FILE* out, bool names, bool changesOnly = false)
        : format_(format), queue_(out), names_(names), changesOnly_(changesOnly) {}
    // Every pass is handed over at once: whoever reads the pipe sees each pass when it is
    // done. Lines the output cannot take wait (probe/record_queue.h).
    void write(const SensorList& devices, const Pass& pass);

    const RecordQueue& queue() const { return queue_; }
    // The run ends; true when every line reached the output.
    bool finish() { return queue_.finish(); }

  private:
    using States = std::map<RomCode, std::string>;
    // Notes the device's state in `now`; whether its line is written.
    bool shows(const RomCode& rom, const std::string& state, States& now) const;

    Format format_;
    RecordQueue queue_;
    bool names_;
    bool changesOnly_;
    bool headerGiven_ = false;
    States states_;  // each listed device's state in the last pass
};

}  // namespace kv::probe
